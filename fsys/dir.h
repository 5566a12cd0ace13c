#pragma once
// Dir: the one normal form of a path. Lower case (A-Z only), '\' separators;
// the directory form ends with '\' unless empty, the file form never does.
// Paths hold at most DIR_MAX characters: a longer text is refused (the Dir
// becomes empty and invalid) rather than cut into a different name.
#include <cstdint>

constexpr int DIR_MAX = 255;

constexpr uint32_t DIR_UNSET = 0;
constexpr uint32_t DIR_DIRECTORY = 1;
constexpr uint32_t DIR_FILE = 2;

// Path types of Dir::type.
constexpr int DIR_TYPE_RELATIVE = 0;
constexpr int DIR_TYPE_DRIVE = 1;      // "c:" without a root
constexpr int DIR_TYPE_ROOT = 2;       // a leading '\'
constexpr int DIR_TYPE_DRIVE_ROOT = 3; // "c:\"

class Dir {
public:
    Dir() = default;
    Dir(const char* text, uint32_t kind) { set(text, kind); }

    // 1 on success; 0 when the text does not fit (an error is printed).
    int set(const char* text, uint32_t kind);
    // Brings the text into the normal form of the kind.
    void std(uint32_t kind);

    int type() const;
    // Creates every directory on the path (the last component only in the
    // directory form); host failures are ignored. 0 for an invalid Dir.
    int make() const;
    // Directory part (directory form) and file part (file form); either may be null.
    void split(Dir* directory, Dir* file) const;
    // Copies the component that starts at `start` into out (file form) and
    // returns its length; 0 when start is at or past the end.
    static int component(Dir& out, const Dir* path, int start);

    const char* text() const { return text_; }
    int length() const { return length_; }
    uint32_t kind() const { return kind_; }
    bool valid() const { return !overflow_; }

private:
    void assign(const char* text, int length);
    void refuse(const char* text);

    uint32_t kind_ = DIR_UNSET;
    char text_[DIR_MAX + 1] = {};
    int length_ = 0;
    bool overflow_ = false;
};

// Null when the name is an 8.3 name of ASCII letters, digits and '_';
// otherwise the place of the first character that breaks the rule.
const char* dos_name_check(const char* name);
