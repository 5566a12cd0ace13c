// The forked run that the differential tests compare: a signal the parent
// catches while it collects (a fuzzer's timer) loses neither output nor status.
#include "support/child_output.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <string>
#include <sys/time.h>
#include <time.h>

namespace {

void nothing(int) {}

void pause_milliseconds(long ms)
{
    timespec t{0, ms * 1000000};
    while (nanosleep(&t, &t) != 0 && errno == EINTR) {
    }
}

// A timer firing every millisecond into a handler installed without
// SA_RESTART, as libFuzzer's -timeout installs its own; the child inherits
// the handler but not the timer.
class InterruptingTimer {
public:
    InterruptingTimer()
    {
        struct sigaction action = {};
        action.sa_handler = nothing;
        sigemptyset(&action.sa_mask);
        sigaction(SIGALRM, &action, &previous_);
        const itimerval every{{0, 1000}, {0, 1000}};
        setitimer(ITIMER_REAL, &every, nullptr);
    }
    ~InterruptingTimer()
    {
        const itimerval off{};
        setitimer(ITIMER_REAL, &off, nullptr);
        sigaction(SIGALRM, &previous_, nullptr);
    }

private:
    struct sigaction previous_ = {};
};

TEST(ChildOutput, ASignalCaughtWhileCollectingLosesNeitherOutputNorStatus)
{
    const std::string part(100000, 'k');
    const InterruptingTimer timer;
    // The parent waits in read while the child is quiet, then in waitpid
    // after the child has closed the pipe; the timer interrupts both.
    const child_output::Outcome o = child_output::run([&] {
        for (int k = 0; k < 3; ++k) {
            pause_milliseconds(30);
            child_output::put(part.data(), part.size());
        }
        close(child_output::out_fd);
        pause_milliseconds(30);
        _exit(7);
    });
    ASSERT_TRUE(o.started);
    EXPECT_TRUE(WIFEXITED(o.status)) << "status " << o.status;
    EXPECT_EQ(WEXITSTATUS(o.status), 7);
    EXPECT_EQ(o.seen.size(), 3 * part.size());
    EXPECT_TRUE(o.seen == part + part + part) << "the output came through changed";
}

} // namespace
