// Termination signals arrive as calls on the event loop.
#include "platform/exception.h"
#include "platform/process_signals.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <gtest/gtest.h>

#include <csignal>
#include <vector>

namespace {

std::vector<int> runUntilDelivered(const std::vector<int>& delivered, std::size_t count)
{
    const QDeadlineTimer deadline(10000);
    while (delivered.size() < count && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    return delivered;
}

TEST(ProcessSignals, EachEndingSignalReachesTheHandlerOnTheLoop)
{
    for (int number : {SIGTERM, SIGHUP, SIGINT}) {
        std::vector<int> delivered;
        const platform::ProcessSignals catcher({SIGTERM, SIGHUP, SIGINT},
                                               [&delivered](int received) { delivered.push_back(received); });
        ASSERT_EQ(std::raise(number), 0);
        // Nothing runs inside the signal handler itself.
        EXPECT_TRUE(delivered.empty());
        EXPECT_EQ(runUntilDelivered(delivered, 1), std::vector<int>{number}) << "signal " << number;
    }
}

TEST(ProcessSignals, SignalsBeforeTheLoopRunsAreAllKeptInOrder)
{
    std::vector<int> delivered;
    const platform::ProcessSignals catcher({SIGTERM, SIGHUP}, [&delivered](int received) { delivered.push_back(received); });
    std::raise(SIGHUP);
    std::raise(SIGTERM);
    std::raise(SIGHUP);
    EXPECT_EQ(runUntilDelivered(delivered, 3), (std::vector<int>{SIGHUP, SIGTERM, SIGHUP}));
}

extern "C" void countSignal(int);
volatile std::sig_atomic_t counted = 0;
extern "C" void countSignal(int) { counted = counted + 1; }

TEST(ProcessSignals, TheEarlierDispositionIsBackAfterwardsAndOnlyOneCatcherAtATime)
{
    struct sigaction count = {}, old = {};
    count.sa_handler = countSignal;
    sigemptyset(&count.sa_mask);
    ASSERT_EQ(sigaction(SIGHUP, &count, &old), 0);
    {
        const platform::ProcessSignals catcher({SIGHUP}, [](int) {});
        EXPECT_THROW(platform::ProcessSignals({SIGTERM}, [](int) {}), Exception);
        std::raise(SIGHUP);
        EXPECT_EQ(counted, 0);
    }
    std::raise(SIGHUP);
    EXPECT_EQ(counted, 1);
    // A new catcher works once the old one is gone.
    std::vector<int> delivered;
    {
        const platform::ProcessSignals catcher({SIGHUP}, [&delivered](int received) { delivered.push_back(received); });
        std::raise(SIGHUP);
        EXPECT_EQ(runUntilDelivered(delivered, 1), std::vector<int>{SIGHUP});
    }
    sigaction(SIGHUP, &old, nullptr);
}

TEST(ProcessSignals, ASignalIgnoredByTheStarterStaysIgnored)
{
    struct sigaction ignore = {}, old = {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ASSERT_EQ(sigaction(SIGHUP, &ignore, &old), 0);
    std::vector<int> delivered;
    {
        const platform::ProcessSignals catcher({SIGHUP, SIGTERM}, [&delivered](int received) { delivered.push_back(received); });
        std::raise(SIGHUP);
        std::raise(SIGTERM);
        EXPECT_EQ(runUntilDelivered(delivered, 1), std::vector<int>{SIGTERM});
    }
    struct sigaction now = {};
    sigaction(SIGHUP, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_IGN);
    sigaction(SIGHUP, &old, nullptr);
}

} // namespace
