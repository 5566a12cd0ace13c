#include "net/line_limit.h"

#include "core/print.h"

#include <algorithm>

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
        print_format(P_ERROR, "Datagram: %d lines \"%s\" left out", static_cast<int>(held_), cause_);
        held_ = 0;
    }
}

bool LineLimit::admit(double now)
{
    if (!take(now)) {
        ++held_;
        ++held_total_;
        return false;
    }
    write_held();
    ++written_;
    return true;
}

void LineLimit::report_held(double now)
{
    if (held_ > 0 && take(now)) {
        write_held();
    }
}
