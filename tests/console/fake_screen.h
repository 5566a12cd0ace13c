#pragma once
// A text screen that records what is shown where, with a settable height and
// a settable number of free texts.
#include "core/kassert.h"
#include "core/text_screen.h"

#include <map>
#include <string>
#include <vector>

class FakeScreen final : public TextScreen {
public:
    struct Text {
        int column;
        int row;
        const char* text;
    };

    explicit FakeScreen(int rows = 30, int capacity = 64) : rows_(rows), capacity_(capacity) {}

    int add_text(int column, int row, const char* text) override
    {
        if (static_cast<int>(texts_.size()) >= capacity_) {
            return -1;
        }
        const int id = next_id_++;
        texts_[id] = {column, row, text};
        return id;
    }
    void set_text(int id, const char* text) override
    {
        K_ASSERT(texts_.count(id) == 1);
        texts_[id].text = text;
    }
    void remove_text(int id) override
    {
        K_ASSERT(texts_.count(id) == 1);
        texts_.erase(id);
    }
    int text_rows() const override { return rows_; }

    // The texts of rows 0 to rows - 1 from the top, without the given row.
    std::vector<std::string> rows_shown(int skip_row = -1) const
    {
        std::map<int, std::string> by_row;
        for (const auto& [id, t] : texts_) {
            if (t.row != skip_row) {
                by_row[t.row] = t.text;
            }
        }
        std::vector<std::string> out;
        for (const auto& [row, text] : by_row) {
            out.push_back(text);
        }
        return out;
    }
    const std::map<int, Text>& texts() const { return texts_; }
    void set_capacity(int capacity) { capacity_ = capacity; }

private:
    std::map<int, Text> texts_;
    int next_id_ = 0;
    int rows_;
    int capacity_;
};
