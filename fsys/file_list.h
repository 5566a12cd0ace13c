#pragma once
// FileList: the names a directory listing found, newest first (add puts a
// node at the front). Names are the host's long names in the Dir file form.
#include <cstdint>

class FileDriver;

constexpr int FLIST_NAME_MAX = 255;

// Node flags: the kind bits and a mark for files the host keeps compressed.
constexpr uint32_t FLIST_FILE = 0x1000;
constexpr uint32_t FLIST_DIRECTORY = 0x2000;
constexpr uint32_t FLIST_KIND_MASK = 0x3000;
constexpr uint32_t FLIST_COMPRESSED = 0x1;

struct FileNode {
    FileNode* next = nullptr;
    char name[FLIST_NAME_MAX + 1] = {};
    uint32_t size = 0;
    uint32_t size2 = 0; // the drivers store the size here too
    uint32_t flags = 0;
    FileDriver* driver = nullptr; // the driver that listed a file; null for directories
};

class FileList {
public:
    FileList() = default;
    ~FileList() { clear(); }
    FileList(const FileList&) = delete;
    FileList& operator=(const FileList&) = delete;

    void clear();
    // A cleared node at the front of the list; null when out of memory.
    FileNode* add();
    // The first node whose flags & mask equal value and whose name equals name.
    FileNode* find(const char* name, uint32_t value, uint32_t mask) const;
    // The same with a case-sensitive wildcard pattern.
    FileNode* find_match(const char* pattern, uint32_t value, uint32_t mask) const;
    static int match(const FileNode* node, const char* pattern);

    FileNode* first() const { return first_; }

private:
    FileNode* first_ = nullptr;
};
