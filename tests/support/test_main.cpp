// One main for every suite: the socket layer and the platform stand-ins need a
// running Qt application object for their event loop.
#include "platform/guarded_application.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    platform::GuardedApplication<QCoreApplication> app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
