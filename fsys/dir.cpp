#include "fsys/dir.h"

#include "core/kassert.h"
#include "core/print.h"
#include "host/host_file.h"

#include <cstring>

int Dir::set(const char* text, uint32_t kind)
{
    K_ASSERT(text);
    const size_t length = strnlen(text, DIR_MAX + 1);
    overflow_ = false;
    if (length > static_cast<size_t>(DIR_MAX)) {
        kind_ = kind;
        refuse(text);
        return 0;
    }
    assign(text, static_cast<int>(length));
    std(kind);
    return overflow_ ? 0 : 1;
}

void Dir::refuse(const char* text)
{
    print_format(P_ERROR, "Dir: Path too long: '%.48s...'", text);
    assign("", 0);
    overflow_ = true;
}

void Dir::assign(const char* text, int length)
{
    std::memcpy(text_, text, static_cast<size_t>(length));
    text_[length] = '\0';
    length_ = length;
}

void Dir::std(uint32_t kind)
{
    kind_ = kind;
    for (int i = 0; i < length_; ++i) {
        const char c = text_[i];
        if (c == '/') {
            text_[i] = '\\';
        } else if (c >= 'A' && c <= 'Z') {
            text_[i] = static_cast<char>(c - 'A' + 'a');
        }
    }
    if (kind == DIR_DIRECTORY) {
        if (length_ > 0 && text_[length_ - 1] != '\\') {
            // No room for the '\': refused rather than cut into another name.
            if (length_ >= DIR_MAX) {
                refuse(text_);
                return;
            }
            text_[length_++] = '\\';
            text_[length_] = '\0';
        }
    } else if (kind == DIR_FILE) {
        if (length_ > 0 && text_[length_ - 1] == '\\') {
            text_[--length_] = '\0';
        }
    } else {
        print_string(P_ERROR, "Dir: Tried to std() unknown path type !");
    }
}

int Dir::type() const
{
    const char letter = text_[0];
    const bool drive = ((letter >= 'a' && letter <= 'z') || (letter >= 'A' && letter <= 'Z')) && text_[1] == ':';
    if (drive) {
        return text_[2] == '\\' ? DIR_TYPE_DRIVE_ROOT : DIR_TYPE_DRIVE;
    }
    return text_[0] == '\\' ? DIR_TYPE_ROOT : DIR_TYPE_RELATIVE;
}

int Dir::make() const
{
    if (overflow_) {
        return 0;
    }
    static constexpr int prefix[] = {0, 2, 1, 3};
    char path[DIR_MAX + 1];
    for (int i = prefix[type()]; i < length_; ++i) {
        if (text_[i] == '\\') {
            std::memcpy(path, text_, static_cast<size_t>(i));
            path[i] = '\0';
            (void)host::make_directory(path);
        }
    }
    return 1;
}

void Dir::split(Dir* directory, Dir* file) const
{
    if (kind_ == DIR_DIRECTORY) {
        if (directory != nullptr) {
            *directory = *this;
        }
        if (file != nullptr) {
            file->assign("", 0);
            file->kind_ = DIR_FILE;
            file->overflow_ = false;
        }
        return;
    }
    const char* const slash = std::strrchr(text_, '\\');
    const int cut = slash != nullptr ? static_cast<int>(slash - text_) + 1 : 0;
    if (directory != nullptr) {
        if (cut > 0) {
            directory->assign(text_, cut);
        } else {
            directory->assign(".\\", 2);
        }
        directory->kind_ = DIR_DIRECTORY;
        directory->overflow_ = overflow_;
    }
    if (file != nullptr) {
        file->assign(text_ + cut, length_ - cut);
        file->kind_ = DIR_FILE;
        file->overflow_ = overflow_;
    }
}

int Dir::component(Dir& out, const Dir* path, int start)
{
    K_ASSERT(path);
    if (start < 0 || start >= path->length_) {
        return 0;
    }
    int end = start;
    while (end < path->length_ && path->text_[end] != '\\') {
        ++end;
    }
    out.assign(path->text_ + start, end - start);
    out.kind_ = DIR_FILE;
    out.overflow_ = false;
    return end - start;
}

const char* dos_name_check(const char* name)
{
    int base = 0;
    int extension = 0;
    bool dot = false;
    const char* p = name;
    for (; *p != '\0'; ++p) {
        const char c = *p;
        if (c == '.') {
            if (dot || base > 8) {
                return p;
            }
            dot = true;
            continue;
        }
        const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
        if (!allowed) {
            return p;
        }
        if (dot) {
            ++extension;
        } else {
            ++base;
        }
    }
    if ((!dot && base > 8) || extension > 3) {
        return p;
    }
    return nullptr;
}
