#pragma once
// Lines of one cause that any peer can provoke at will: the first line of a
// burst is written, then at most LINE_LIMIT_PER_SECOND a second; the lines
// held back are counted, and their number is written before the next line
// that goes out (or by report_held once the burst is over).
#include <cstdint>

constexpr double LINE_LIMIT_PER_SECOND = 4.0;
constexpr double LINE_LIMIT_BURST = 4.0; // lines written at once after a quiet spell

class LineLimit {
public:
    // cause: the words that name the held lines in the count's line.
    explicit LineLimit(const char* cause) : cause_(cause) {}

    // true when a line may be written at engine time now (the count of
    // held lines is written first); false counts it as held back.
    bool admit(double now);
    // Writes the count of held lines when a line may go out now.
    void report_held(double now);

    int64_t written() const { return written_; }
    int64_t held_total() const { return held_total_; }
    int32_t held() const { return held_; }

private:
    bool take(double now);
    void write_held();

    const char* cause_;
    double tokens_ = LINE_LIMIT_BURST;
    double time_ = -1.0e300;
    int32_t held_ = 0;
    int64_t written_ = 0;
    int64_t held_total_ = 0;
};
