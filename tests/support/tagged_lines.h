#pragma once
// The lines printed under one four-character tag while this object lives.
#include "core/four_cc.h"
#include "core/print.h"

#include <string>
#include <vector>

class TaggedLines {
public:
    explicit TaggedLines(const char (&tag)[5]) : tag_(four_cc(tag))
    {
        previous_ = set_tagged_hook(&collect, reinterpret_cast<uintptr_t>(this));
    }
    ~TaggedLines() { (void)set_tagged_hook(previous_, 0); }
    TaggedLines(const TaggedLines&) = delete;
    TaggedLines& operator=(const TaggedLines&) = delete;

    const std::vector<std::string>& lines() const { return lines_; }

private:
    static void collect(uint32_t tag, const char* text, uintptr_t context)
    {
        TaggedLines* const self = reinterpret_cast<TaggedLines*>(context);
        if (tag == self->tag_) {
            self->lines_.push_back(text);
        }
    }

    uint32_t tag_;
    TaggedHook previous_ = nullptr;
    std::vector<std::string> lines_;
};
