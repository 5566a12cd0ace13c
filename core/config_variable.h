#pragma once
// Configuration variables: named, typed values that subsystems link by name
// and release when they stop. Released variables keep their value on an
// inactive list, so a later link finds what the user last set.
#include <bit>
#include <cstdint>

constexpr int CVTYPE_STRING = 1;
constexpr int CVTYPE_BOOL = 2;
constexpr int CVTYPE_INT = 3;
constexpr int CVTYPE_FLOAT = 4;
constexpr int CVTYPE_MIN = CVTYPE_STRING;
constexpr int CVTYPE_MAX = CVTYPE_FLOAT;

constexpr uint32_t CVF_INVALID = 0x1;     // the last text given was not a valid value
constexpr uint32_t CVF_CHANGED = 0x2;     // set by every successful assignment
constexpr uint32_t CVFMASK_INTERNAL = 0xF; // bits 4-15 belong to the caller

constexpr int CVAR_STRLEN = 32;

class ConfigVariable {
public:
    ~ConfigVariable();
    ConfigVariable(const ConfigVariable&) = delete;
    ConfigVariable& operator=(const ConfigVariable&) = delete;

    int set_string(const char* text);
    int set_bool(int b);
    int set_int(int32_t i);
    int set_float(float f);
    int set_saved_bool(int b);
    int set_saved_int(int32_t i);
    int set_saved_float(float f);
    int restore_saved();

    bool is_true() const;
    // Returns whether CVF_CHANGED was set, and clears it.
    bool check_changed();
    void print() const;

    int type() const { return type_; }
    const char* name() const { return name_; }
    const char* string() const { return string_; }
    uint32_t flags() const { return flags_; }
    int lock() const { return lock_; }
    bool as_bool() const { return value_ != 0; }
    int32_t as_int() const { return static_cast<int32_t>(value_); }
    float as_float() const { return std::bit_cast<float>(value_); }
    uint32_t raw_value() const { return value_; }
    uint32_t raw_saved() const { return saved_; }
    // The value as an integer whatever the type: a String counts its length,
    // a Bool is 0 or 1, a Float is truncated toward zero.
    int32_t int_value() const;

private:
    friend class ConfigVariableList;
    ConfigVariable() = default;

    void set_bool_value(int b);
    void set_int_value(int32_t i);
    void set_float_value(float f);
    void mark_assigned();

    int32_t type_ = 0;
    uint32_t value_ = 0;
    uint32_t saved_ = 0;
    int32_t lock_ = 0;
    ConfigVariable* next_ = nullptr;
    char name_[CVAR_STRLEN] = {};
    char string_[CVAR_STRLEN] = {};
    uint32_t flags_ = 0;
    bool on_list_ = false;
};

class ConfigVariableList {
public:
    ConfigVariableList() = default;
    ~ConfigVariableList();
    ConfigVariableList(const ConfigVariableList&) = delete;
    ConfigVariableList& operator=(const ConfigVariableList&) = delete;

    // force: take no command-line override at creation, and re-apply the
    // default (and type) when the variable exists already.
    ConfigVariable* link(int type, uint32_t flags, const char* name, const char* default_text, int force);
    void release(ConfigVariable* variable);
    ConfigVariable* find(const char* name) const;
    // The next active variable whose name begins with prefix, after current.
    ConfigVariable* complete(const char* prefix, const char* current) const;
    void restore_saved(uint32_t mask, uint32_t value);

    // Active variables in name order; for listings.
    ConfigVariable* first() const { return active_; }
    static ConfigVariable* next(const ConfigVariable* v) { return v->next_; }

private:
    void insert_active(ConfigVariable* variable);

    ConfigVariable* active_ = nullptr;
    ConfigVariable* inactive_ = nullptr;
};

extern ConfigVariableList* cvar_list;

// Gives back a variable that was linked through cvar_list and forgets it;
// a null one is left alone.
void release_variable(ConfigVariable*& variable);
