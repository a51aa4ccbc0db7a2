// A settings file that exists but cannot be read: one report at start, the
// defaults in the window, and the file untouched at exit.
#include "app/window_fixture.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>

namespace testing_support {
namespace {

using UnreadableSettings = WindowTest;

TEST_F(UnreadableSettings, StartOnDefaultsSayItOnceAndLeaveTheFileAlone)
{
    // A directory where the file should be: unreadable even for root.
    ASSERT_TRUE(QDir().mkpath(settingsPath() + "/kept"));
    TViewForm& window = open();
    EXPECT_TRUE(window.chkAdjust->isChecked());
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors.front(), "Unable to read " + settingsPath().toStdString() +
                                  ": Is a directory. The program starts on the default settings and leaves the file "
                                  "as it is.");
    window.chkAdjust->setChecked(false);
    window.FormDestroy();
    EXPECT_EQ(errors.size(), 1u);
    EXPECT_TRUE(QFileInfo(settingsPath() + "/kept").isDir());
}

} // namespace
} // namespace testing_support
