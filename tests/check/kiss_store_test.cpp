#include "check/kiss_store.h"

#include "platform/user_state.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QTemporaryDir>

#include <cstdlib>

namespace {

constexpr std::int64_t kNow = 1796774400 + 14 * 3600 + 2 * 60;   // 2026-12-09 14:02:00 UTC

// XDG_STATE_HOME set to a fresh folder for the test (ctest runs each test in a process of its own).
struct StateHome {
    QTemporaryDir folder;
    StateHome() { ::setenv("XDG_STATE_HOME", (root() + "/state").c_str(), 1); }
    ~StateHome() { ::unsetenv("XDG_STATE_HOME"); }
    std::string root() const { return folder.path().toStdString(); }
};

mode_t modeOf(const std::string& path)
{
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? status.st_mode & 0777 : 0;
}

TEST(FileKissStore, ARefusalIsSeenByTheNextStoreThroughTheStateFolder)
{
    StateHome home;
    const std::string folder = home.root() + "/state/tikora";
    EXPECT_EQ(platform::UserStateDirectory(), folder);
    ::setenv("XDG_STATE_HOME", "state", 1);   // relative: ignored, the home's folder is used
    EXPECT_EQ(platform::UserStateDirectory(), std::string(std::getenv("HOME")) + "/.local/state/tikora");
    ::setenv("XDG_STATE_HOME", (home.root() + "/state").c_str(), 1);

    check::FileKissStore window;
    EXPECT_FALSE(window.heldBack("pool.example", "123", kNow));   // no file yet: nothing held
    window.remember("Pool.Example", "123", "DENY", kNow);
    EXPECT_EQ(window.lastProblem(), "");
    EXPECT_EQ(modeOf(home.root() + "/state"), 0700u);
    EXPECT_EQ(modeOf(folder), 0700u);
    EXPECT_EQ(modeOf(folder + "/" + check::kKissStoreFileName), 0600u);

    // A later process: a store of its own reads what the first wrote.
    check::FileKissStore laterRun;
    EXPECT_EQ(laterRun.heldBack("pool.example", "123", kNow + 60).value_or(""),
              "pool.example refused access (kiss-o'-death DENY) at 14:02 UTC; not asked again before 15:02 UTC");
    EXPECT_FALSE(laterRun.heldBack("pool.example", "123", kNow + 3600));
    laterRun.remember("other.example", "123", "RSTR", kNow + 1);
    EXPECT_TRUE(window.heldBack("pool.example", "123", kNow + 2));   // read-modify-write kept the first
    EXPECT_TRUE(window.heldBack("other.example", "123", kNow + 2));
}

TEST(FileKissStore, AnUnusableFileGivesAReasonAndTheCheckGoesOn)
{
    StateHome home;
    const std::string folder = home.root() + "/state/tikora";
    ASSERT_EQ(::mkdir((home.root() + "/state").c_str(), 0700), 0);
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    // A folder where the file should be: neither readable nor replaceable.
    ASSERT_EQ(::mkdir((folder + "/" + check::kKissStoreFileName).c_str(), 0700), 0);
    check::FileKissStore store;
    EXPECT_FALSE(store.heldBack("pool.example", "123", kNow));
    EXPECT_NE(store.lastProblem(), "");
    store.remember("pool.example", "123", "DENY", kNow);
    EXPECT_NE(store.lastProblem(), "");
}

} // namespace
