#pragma once
// Save information of a script class, shared by the state saver and loader.
// The word before a method table holds the address of the class's save
// information: the object size (bytes, without the method-table word), then
// field entries {name address, offset from the object, type, size} ending with
// a null name; an array field's entry {SAVETYPE_ARRAY, total bytes} is followed
// by its element's {type, size}. All of it comes from script files, so it is
// read with checks and a broken one is refused, never trusted.
#include <cstdint>
#include <vector>

struct kcontext_t;

enum ksavetype_t : uint32_t {
    SAVETYPE_BYTE = 1,
    SAVETYPE_BOOL = 2,
    SAVETYPE_INT = 3,
    SAVETYPE_FLOAT = 4,
    SAVETYPE_FLOAT2 = 5,
    SAVETYPE_VECTOR = 6,
    SAVETYPE_STRING = 7,
    SAVETYPE_POINTER = 8,
    SAVETYPE_ARRAY = 9,
};

struct KSaveField {
    const char* name;    // inside the arena, NUL-terminated
    uint32_t offset;     // from the object's address
    uint32_t type;       // element type for arrays
    uint32_t size;       // bytes that must be non-zero for the field to be saved; element size for arrays
    uint32_t count;      // array elements; 1 for a plain field
    bool array;
};

struct KSaveInfo {
    uint32_t object_size;
    std::vector<KSaveField> fields;
};

// Reads the save information of the class whose method table is at
// method_table. False with *error set to a reason when it is missing or broken
// (unknown type, field outside the object, array of arrays, array whose
// elements do not end exactly at its total size).
bool read_save_info(kcontext_t* c, uint32_t method_table, KSaveInfo& info, const char** error);

// Bytes a value of the type is read from and stored to (0 for an unknown type).
uint32_t save_value_bytes(uint32_t type);
