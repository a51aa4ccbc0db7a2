// The relative clock step. The real call is made only in a child process that
// has provably lost the right to set the clock, so the kernel must refuse it
// before looking at the offset; the offset given is 0 all the same.
#include "platform/system_time.h"

#include <gtest/gtest.h>

#include <sys/capability.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace platform {
namespace {

TEST(RelativeStep, OffsetIsWholeSecondsDownAndNonNegativeNanoseconds)
{
    const struct {
        std::int64_t nanoseconds;
        long seconds;
        long rest;
    } cases[] = {
        {0, 0, 0},
        {1'500'000'000, 1, 500'000'000},
        {-1'500'000'000, -2, 500'000'000},
        {-1, -1, 999'999'999},
        {12'000'000, 0, 12'000'000},
        {-3'000'000'000, -3, 0},
    };
    for (const auto& c : cases) {
        const timex request = RelativeStepRequest(c.nanoseconds);
        EXPECT_EQ(request.modes, ADJ_SETOFFSET | ADJ_NANO) << c.nanoseconds;
        EXPECT_EQ(request.time.tv_sec, c.seconds) << c.nanoseconds;
        EXPECT_EQ(request.time.tv_usec, c.rest) << c.nanoseconds;
    }
}

// Exit codes of the child.
constexpr int kRefused = 0;
constexpr int kStepped = 1;
constexpr int kOtherError = 2;
constexpr int kRightStillHeld = 3;

[[noreturn]] void stepWithoutTheRight()
{
    // Out of the bounding set (needs CAP_SETPCAP; without it the right cannot
    // come back anyway), the ambient set, and every set of this process.
    ::prctl(PR_CAPBSET_DROP, CAP_SYS_TIME, 0, 0, 0);
    ::prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0);
    if (cap_t caps = cap_get_proc()) {
        const cap_value_t right[] = {CAP_SYS_TIME};
        for (cap_flag_t set : {CAP_EFFECTIVE, CAP_PERMITTED, CAP_INHERITABLE})
            cap_set_flag(caps, set, 1, right, CAP_CLEAR);
        cap_set_proc(caps);
        cap_free(caps);
    }
    cap_t now = cap_get_proc();
    if (!now)
        ::_exit(kRightStillHeld);
    cap_flag_value_t effective = CAP_SET;
    cap_flag_value_t permitted = CAP_SET;
    const bool read = cap_get_flag(now, CAP_SYS_TIME, CAP_EFFECTIVE, &effective) == 0 &&
                      cap_get_flag(now, CAP_SYS_TIME, CAP_PERMITTED, &permitted) == 0;
    cap_free(now);
    if (!read || effective != CAP_CLEAR || permitted != CAP_CLEAR)
        ::_exit(kRightStillHeld);   // never make the call with the right in reach
    LinuxSystemTime clock;
    errno = 0;
    if (clock.StepSystemTime(0))
        ::_exit(kStepped);
    ::_exit(errno == EPERM ? kRefused : kOtherError);
}

TEST(RelativeStep, WithoutTheRightTheKernelRefusesTheStep)
{
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        stepWithoutTheRight();
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == kRightStillHeld)
        GTEST_SKIP() << "the right to set the clock could not be dropped";
    EXPECT_EQ(WEXITSTATUS(status), kRefused);
}

} // namespace
} // namespace platform
