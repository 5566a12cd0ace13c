#pragma once
// A run in a forked child whose observable output reaches the parent through
// a pipe: for comparing two runs that may end the process (a fault exits).
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <string>

namespace child_output {

inline int out_fd = -1;

// Writes to the parent; a child that cannot write ends with 90.
inline void put(const void* p, size_t n)
{
    const char* bytes = static_cast<const char*>(p);
    while (n > 0) {
        const ssize_t w = write(out_fd, bytes, n);
        if (w < 0 && errno == EINTR) {
            continue;
        }
        if (w <= 0) {
            _exit(90);
        }
        bytes += w;
        n -= static_cast<size_t>(w);
    }
}
inline void put_text(const char* text) { put(text, std::strlen(text)); }

struct Outcome {
    int status = 0; // as waitpid gives it
    std::string seen;
    bool started = true;
};

// Runs body in a child, which must end the process itself (_exit). A signal
// caught by the parent (a fuzzer's timer) interrupts its read and wait
// without ending them: stopping early would close the pipe on the child and
// leave the status unset.
template <typename Body>
Outcome run(Body body)
{
    Outcome o;
    int fds[2];
    if (pipe(fds) != 0) {
        o.started = false;
        return o;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        out_fd = fds[1];
        body();
        _exit(0);
    }
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        o.started = false;
        return o;
    }
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(fds[0], buffer, sizeof(buffer));
        if (n > 0) {
            o.seen.append(buffer, static_cast<size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    close(fds[0]);
    while (waitpid(pid, &o.status, 0) < 0 && errno == EINTR) {
    }
    return o;
}

} // namespace child_output
