#pragma once
// Loading the script state written by save_state: objects are made in the
// object heap in the order of the text, tasks are started on the wait list,
// and every name is resolved against the context's labels and the "O."/"T."
// names of the text itself (references may come before their definitions).
#include <cstdint>

struct kcontext_t;

// Reads descriptor fd to its end. 1 on success. On failure 0 and the context
// as it was before the call: object heap, task pool and wait list, kept
// strings (dead tasks, which no save holds, are reclaimed first either way).
// Nothing is printed. The loaded state is added to what the context holds.
int load_state(kcontext_t* c, int fd);
// Why the last load_state failed ("" after a success), for the caller's report.
const char* load_state_failure();
