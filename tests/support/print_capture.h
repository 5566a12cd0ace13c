#pragma once
// Collects what the print streams show, for tests. Installs itself as the
// handler of every stream and restores the default one when it goes.
#include "core/print.h"

#include <algorithm>
#include <string>
#include <vector>

class PrintCapture {
public:
    struct Line {
        int stream;
        std::string text;
    };

    PrintCapture()
    {
        print_init();
        set_stream_handler(&PrintCapture::handle, reinterpret_cast<uintptr_t>(this));
    }
    ~PrintCapture() { set_stream_handler(default_print_handler, 0); }
    PrintCapture(const PrintCapture&) = delete;
    PrintCapture& operator=(const PrintCapture&) = delete;

    // Shows every stream, debugging ones too.
    void show_all()
    {
        for (int i = 0; i < P_STREAMS; ++i) {
            set_stream_mask(i, stream_mask(i) | P_SHOW);
        }
    }

    const std::vector<Line>& lines() const { return lines_; }
    void clear() { lines_.clear(); }

    bool contains(const std::string& fragment) const
    {
        return std::any_of(lines_.begin(), lines_.end(),
                           [&](const Line& l) { return l.text.find(fragment) != std::string::npos; });
    }
    int count(const std::string& fragment) const
    {
        return static_cast<int>(std::count_if(lines_.begin(), lines_.end(), [&](const Line& l) {
            return l.text.find(fragment) != std::string::npos;
        }));
    }

private:
    static void handle(int stream, const char* text, uintptr_t context)
    {
        reinterpret_cast<PrintCapture*>(context)->lines_.push_back({stream, text});
    }

    std::vector<Line> lines_;
};
