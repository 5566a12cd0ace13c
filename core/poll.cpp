#include "core/poll.h"

#include "core/print.h"
#include "core/timer.h"

namespace {

PollEntry poll_table[POLL_ENTRIES];

PollEntry* find_row(const PollObject* object)
{
    for (PollEntry& row : poll_table) {
        if (row.object == object) {
            return &row;
        }
    }
    return nullptr;
}

struct PollTableCheck {
    ~PollTableCheck() { (void)poll_check_removed(); }
};
PollTableCheck poll_table_check;

} // namespace

int poll_add(PollObject* object, float min_period, float max_period)
{
    PollEntry* const row = find_row(nullptr);
    if (row == nullptr) {
        print_string(P_ERROR, "Poll: Too many callbacks used !");
        return 0;
    }
    row->object = object;
    row->min_period = min_period;
    row->max_period = max_period;
    row->last_time = static_cast<float>(sys_time());
    row->too_slow = 0;
    return 1;
}

int poll_remove(PollObject* object)
{
    PollEntry* const row = object != nullptr ? find_row(object) : nullptr;
    if (row == nullptr) {
        return 0;
    }
    if (row->too_slow != 0) {
        print_format(P_DEBUG, "Poll: %d too-slow polls (min period %.2f, max period %.2f)",
                     static_cast<int>(row->too_slow), static_cast<double>(row->min_period),
                     static_cast<double>(row->max_period));
    }
    *row = PollEntry{};
    return 1;
}

void poll_all()
{
    const float now = static_cast<float>(sys_time());
    for (PollEntry& row : poll_table) {
        if (row.object == nullptr) {
            continue;
        }
        const float elapsed = now - row.last_time;
        if (elapsed < row.min_period) {
            continue;
        }
        if (elapsed > row.max_period) {
            row.too_slow += 1;
        }
        row.last_time = now;
        row.object->poll();
    }
}

const PollEntry* poll_find(const PollObject* object) { return object != nullptr ? find_row(object) : nullptr; }

int poll_check_removed()
{
    int left = 0;
    for (const PollEntry& row : poll_table) {
        if (row.object != nullptr) {
            print_string(P_ERROR, "Poll: Callback not removed !");
            ++left;
        }
    }
    return left;
}
