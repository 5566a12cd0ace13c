#pragma once
// Lines of one cause that any peer can provoke at will: the first lines of a
// burst are written, then at most LINE_LIMIT_PER_SECOND a second; the lines
// held back are counted, and their number is written before the next line
// that goes out (or by report_held once the burst is over).
#include <cstdint>

constexpr double LINE_LIMIT_PER_SECOND = 4.0;
constexpr double LINE_LIMIT_BURST = 4.0; // lines written at once after a quiet spell

class LineLimit {
public:
    // module: the first word of the count's line ("Datagram" gives
    // "Datagram: 12 lines ... left out"); cause: the words that name the held
    // lines; stream: the print stream of the lines and of their count.
    LineLimit(const char* module, const char* cause, int stream);
    ~LineLimit();
    LineLimit(const LineLimit&) = delete;
    LineLimit& operator=(const LineLimit&) = delete;

    // Prints the line at the engine time now when one may go out, else holds it.
    void print(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // true when a line may be written at engine time now (the count of
    // held lines is written first); false counts it as held back.
    bool admit(double now);
    // Writes the count of held lines when a line may go out now.
    void report_held(double now);
    // report_held of every limiter that holds lines, at the engine time now.
    static void report_all_held();

    int64_t written() const { return written_; }
    int64_t held_total() const { return held_total_; }
    int32_t held() const { return held_; }

private:
    bool take(double now);
    void write_held();

    const char* module_;
    const char* cause_;
    int stream_;
    double tokens_ = LINE_LIMIT_BURST;
    double time_ = -1.0e300;
    int32_t held_ = 0;
    int64_t written_ = 0;
    int64_t held_total_ = 0;
    // Every limiter, so that counts are written once a burst is over.
    LineLimit* previous_ = nullptr;
    LineLimit* next_ = nullptr;
};
