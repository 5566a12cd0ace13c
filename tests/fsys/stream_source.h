#pragma once
// Opens the same bytes as a file of a host directory ("dir") or as an archive
// member between two other members ("muf"), so that a test can hold both
// kinds of stream to one behaviour.
#include "fsys/fsys.h"
#include "temp_tree.h"
#include "tools/fsys/muf_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

class StreamSource {
public:
    explicit StreamSource(const std::string& kind) : archive_(kind == "muf") {}

    FileStream* open(const std::vector<uint8_t>& bytes, int mode = FSYS_BINARY)
    {
        const std::string name = "f" + std::to_string(count_++);
        if (archive_) {
            tools::MufWriter w;
            w.add("before", "BEFORE");
            w.add(name, bytes);
            w.add("after", std::vector<uint8_t>(64, 0xAA));
            const std::string path = tree_.path(name + ".muf");
            EXPECT_TRUE(w.write(path.c_str()));
            EXPECT_EQ(fs_.mount(path.c_str(), 1, 10), 1);
        } else {
            tree_.write("d/" + name, bytes);
            if (fs_.first() == nullptr) {
                fs_.mount(tree_.path("d").c_str(), 1, 10);
            }
        }
        FileStream* const s = fs_.open(name.c_str(), mode);
        EXPECT_NE(s, nullptr);
        return s;
    }
    FileStream* open(const std::string& text, int mode = FSYS_BINARY)
    {
        return open(std::vector<uint8_t>(text.begin(), text.end()), mode);
    }

private:
    bool archive_;
    TempTree tree_;
    FSys fs_;
    int count_ = 0;
};
