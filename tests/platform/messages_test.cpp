// Message windows: posting from another thread, and posting to a window that
// no longer exists.
#include "platform/messages.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace {

bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(3))
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done() && std::chrono::steady_clock::now() < deadline) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return done();
}

TEST(MessageWindow, PostFromAnotherThreadArrivesInOrder)
{
    std::vector<platform::Message> received;
    platform::MessageWindow window([&](platform::Message& m) { received.push_back(m); });
    const platform::HWND handle = window.handle();
    bool posted = false;
    std::thread poster([&] {
        posted = platform::PostMessage(handle, 2135, 7, 1) && platform::PostMessage(handle, 2135, 7, 2);
    });
    poster.join();
    ASSERT_TRUE(posted);
    ASSERT_TRUE(pumpUntil([&] { return received.size() == 2; }));
    EXPECT_EQ(received[0].wParam, 7u);
    EXPECT_EQ(received[0].lParam, 1);
    EXPECT_EQ(received[1].lParam, 2);
}

TEST(MessageWindow, PostToADestroyedWindowIsDropped)
{
    int calls = 0;
    auto window = std::make_unique<platform::MessageWindow>([&](platform::Message&) { ++calls; });
    const platform::HWND handle = window->handle();
    ASSERT_TRUE(platform::PostMessage(handle, 1, 0, 0));   // queued, then the window goes
    window.reset();
    bool postedAfter = true;
    std::thread poster([&] { postedAfter = platform::PostMessage(handle, 1, 0, 0); });
    poster.join();
    EXPECT_FALSE(postedAfter);
    EXPECT_EQ(platform::SendMessage(handle, 1, 0, 0), 0);
    EXPECT_EQ(platform::windowFromHandle(handle), nullptr);
    pumpUntil([] { return false; }, std::chrono::milliseconds(200));
    EXPECT_EQ(calls, 0);
}

TEST(MessageWindow, HandlesAreNeverReused)
{
    platform::HWND first = 0;
    {
        platform::MessageWindow window(nullptr);
        first = window.handle();
    }
    platform::MessageWindow next(nullptr);
    EXPECT_NE(next.handle(), platform::kNoWindow);
    EXPECT_GT(next.handle(), first);
}

} // namespace
