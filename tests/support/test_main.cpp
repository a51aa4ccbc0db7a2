// One main for every suite: the socket layer and the platform stand-ins need a
// running Qt application object for their event loop.
#include "platform/guarded_application.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // Checks keep a history: a test run's goes to a folder of its own, never
    // to the user's (a test that wants another sets its own).
    QTemporaryDir dataHome;
    qputenv("XDG_DATA_HOME", dataHome.path().toLocal8Bit());
    platform::GuardedApplication<QCoreApplication> app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
