#include "net/line_limit.h"

#include "core/print.h"
#include "core/timer.h"

#include <algorithm>
#include <cstdarg>

namespace {

LineLimit* first_limit = nullptr;
// Limiters that hold lines: report_all_held has nothing to do while it is 0.
int32_t holding = 0;

} // namespace

LineLimit::LineLimit(const char* module, const char* cause, int stream)
    : module_(module), cause_(cause), stream_(stream), next_(first_limit)
{
    if (first_limit != nullptr) {
        first_limit->previous_ = this;
    }
    first_limit = this;
}

LineLimit::~LineLimit()
{
    if (held_ > 0) {
        --holding;
    }
    (previous_ != nullptr ? previous_->next_ : first_limit) = next_;
    if (next_ != nullptr) {
        next_->previous_ = previous_;
    }
}

bool LineLimit::take(double now)
{
    tokens_ = std::min(LINE_LIMIT_BURST, tokens_ + std::max(0.0, now - time_) * LINE_LIMIT_PER_SECOND);
    time_ = now;
    if (tokens_ < 1.0) {
        return false;
    }
    tokens_ -= 1.0;
    return true;
}

void LineLimit::write_held()
{
    if (held_ > 0) {
        print_format(stream_, "%s: %d lines \"%s\" left out", module_, static_cast<int>(held_), cause_);
        held_ = 0;
        --holding;
    }
}

bool LineLimit::admit(double now)
{
    if (!take(now)) {
        if (held_++ == 0) {
            ++holding;
        }
        ++held_total_;
        return false;
    }
    write_held();
    ++written_;
    return true;
}

void LineLimit::print(const char* format, ...)
{
    if (!admit(sys_time())) {
        return;
    }
    va_list args;
    va_start(args, format);
    print_vformat(stream_, format, args);
    va_end(args);
}

void LineLimit::report_held(double now)
{
    if (held_ > 0 && take(now)) {
        write_held();
    }
}

void LineLimit::report_all_held()
{
    if (holding == 0) {
        return;
    }
    const double now = sys_time();
    for (LineLimit* l = first_limit; l != nullptr; l = l->next_) {
        l->report_held(now);
    }
}
