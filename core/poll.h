#pragma once
// Poll callbacks: work that must run regularly outside the frame's own steps
// (refilling wave-output buffers, reading sockets). The client's frame calls
// poll_all once; each object is polled when its minimum period has passed,
// and polls later than its maximum period are counted.
#include <cstdint>

class PollObject {
public:
    virtual ~PollObject() = default;
    virtual void poll() = 0;
};

constexpr int POLL_ENTRIES = 256;

struct PollEntry {
    PollObject* object = nullptr; // null: free row
    float min_period = 0.0f;      // seconds
    float max_period = 0.0f;      // seconds
    float last_time = 0.0f;       // engine time of the last poll or of registration
    uint32_t too_slow = 0;        // polls that came more than max_period after the previous one
};

// 1, or 0 when all rows are used.
int poll_add(PollObject* object, float min_period, float max_period);
// 1 when the object was registered, 0 when not found.
int poll_remove(PollObject* object);
void poll_all();

// The row holding object, or null; for tests and reports.
const PollEntry* poll_find(const PollObject* object);
// Reports every row still in use; runs at program end. Returns their number.
int poll_check_removed();
