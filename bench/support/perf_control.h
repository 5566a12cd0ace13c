#pragma once
// perf record's control FIFOs (perf record -D -1 --control fifo:CTL,ACK), so
// that a benchmark samples only its measured frames. The FIFOs are named by
// OSTREL_PERF_CONTROL and OSTREL_PERF_ACK; without the first, nothing is
// sent. With the second, each command waits for perf's acknowledgement, so
// sampling has begun before the first timed frame.
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <unistd.h>

class PerfControl {
public:
    PerfControl()
    {
        const char* const control = std::getenv("OSTREL_PERF_CONTROL");
        const char* const ack = std::getenv("OSTREL_PERF_ACK");
        if (control != nullptr && *control != '\0') {
            control_ = ::open(control, O_WRONLY);
            if (control_ >= 0 && ack != nullptr && *ack != '\0') {
                ack_ = ::open(ack, O_RDONLY);
            }
        }
    }
    ~PerfControl()
    {
        for (const int fd : {control_, ack_}) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }
    PerfControl(const PerfControl&) = delete;
    PerfControl& operator=(const PerfControl&) = delete;

    // "enable" or "disable".
    void send(const char* command) const
    {
        if (control_ < 0) {
            return;
        }
        const std::string line = std::string(command) + "\n";
        if (::write(control_, line.data(), line.size()) != static_cast<ssize_t>(line.size()) || ack_ < 0) {
            return;
        }
        char reply[16];
        (void)!::read(ack_, reply, sizeof reply);
    }

private:
    int control_ = -1;
    int ack_ = -1;
};
