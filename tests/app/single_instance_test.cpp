// One copy per settings file: the names, the hand-over, stale and hostile peers.
#include "app/single_instance.h"
#include "app/window_fixture.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QLocalSocket>
#include <QLockFile>
#include <QTimer>
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

namespace testing_support {
namespace {

using namespace std::chrono_literals;

void runUntil(const std::function<bool()>& done)
{
    const QDeadlineTimer deadline(10000);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
}

class SingleInstanceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(runtime.isValid());
        names = app::InstanceNamesFor(runtime.path() + "/config/Tikora.ini", runtime.path());
    }
    QTemporaryDir runtime;
    app::InstanceNames names;
};

TEST_F(SingleInstanceTest, NamesFollowTheSettingsFileNotItsSpelling)
{
    const QString dir = runtime.path();
    ASSERT_TRUE(QDir(dir).mkpath("config"));
    ASSERT_TRUE(QFile::link(dir + "/config", dir + "/link"));
    const app::InstanceNames plain = app::InstanceNamesFor(dir + "/config/Tikora.ini", dir);
    EXPECT_TRUE(plain.lockPath.startsWith(dir + "/tikora-"));
    EXPECT_TRUE(plain.serverPath.endsWith(".socket"));
    EXPECT_NE(plain.lockPath, plain.serverPath);
    for (const QString& same : {dir + "/config/./Tikora.ini", dir + "/link/Tikora.ini", dir + "/x/../config/Tikora.ini"})
        EXPECT_EQ(app::InstanceNamesFor(same, dir).serverPath, plain.serverPath) << same.toStdString();
    EXPECT_NE(app::InstanceNamesFor(dir + "/other/Tikora.ini", dir).serverPath, plain.serverPath);
    // Short enough for a socket address even in a deep runtime directory.
    const QString deep = "/run/user/4294967294/some/deeper/place";
    EXPECT_LT(app::InstanceNamesFor(dir + "/config/Tikora.ini", deep).serverPath.toUtf8().size(), 108);
}

TEST_F(SingleInstanceTest, ALaterStartHandsOverAndTheFirstIsAskedToShow)
{
    app::SingleInstance first(names);
    int shown = 0;
    first.OnShowRequest = [&shown] { ++shown; };
    ASSERT_EQ(first.claim(1s), app::SingleInstance::Claim::First);
    EXPECT_TRUE(QFile::exists(names.lockPath));
    EXPECT_TRUE(QFile::exists(names.serverPath));
    // Both in one thread: the later one cannot wait for the answer, but the request is delivered.
    app::SingleInstance later(names);
    EXPECT_EQ(later.claim(300ms), app::SingleInstance::Claim::HandedOver);
    runUntil([&] { return shown == 1; });
    EXPECT_EQ(shown, 1);
}

TEST_F(SingleInstanceTest, ASocketLeftByADeadCopyDoesNotBlockAStart)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    const QByteArray path = names.serverPath.toUtf8();
    std::memcpy(address.sun_path, path.constData(), path.size());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);   // the file stays; nobody listens on it
    ASSERT_TRUE(QFile::exists(names.serverPath));
    app::SingleInstance instance(names);
    QString why;
    EXPECT_EQ(instance.claim(1s, &why), app::SingleInstance::Claim::First);
    EXPECT_TRUE(why.isEmpty()) << why.toStdString();
}

TEST_F(SingleInstanceTest, ALiveLockWithoutAnAnswerEndsTheWaitWithTheReason)
{
    QLockFile held(names.lockPath);
    ASSERT_TRUE(held.tryLock(0));
    app::SingleInstance instance(names);
    QString why;
    EXPECT_EQ(instance.claim(300ms, &why), app::SingleInstance::Claim::Unanswered);
    EXPECT_TRUE(why.contains(QString::number(QCoreApplication::applicationPid()))) << why.toStdString();
}

TEST_F(SingleInstanceTest, OtherTalkOnTheSocketIsDroppedWithoutShowing)
{
    app::SingleInstance first(names);
    int shown = 0;
    first.OnShowRequest = [&shown] { ++shown; };
    ASSERT_EQ(first.claim(1s), app::SingleInstance::Claim::First);
    for (const QByteArray& talk : {QByteArray("hello\n"), QByteArray(200, 'x'), QByteArray("show")}) {
        QLocalSocket peer;
        peer.connectToServer(names.serverPath);
        ASSERT_TRUE(peer.waitForConnected(5000));
        peer.write(talk);
        peer.flush();
        // "show" without its line end is dropped when the peer goes quiet.
        runUntil([&] {
            QCoreApplication::processEvents();
            return peer.state() != QLocalSocket::ConnectedState;
        });
        EXPECT_NE(peer.state(), QLocalSocket::ConnectedState) << talk.left(10).toStdString();
    }
    EXPECT_EQ(shown, 0);
}

TEST_F(SingleInstanceTest, ARuntimeDirectoryTooDeepForASocketStillHoldsTheLockAndSaysWhy)
{
    const QString deep = runtime.path() + "/" + QString(100, 'd');
    ASSERT_TRUE(QDir().mkpath(deep));
    const app::InstanceNames tooLong = app::InstanceNamesFor(runtime.path() + "/Tikora.ini", deep);
    app::SingleInstance first(tooLong);
    QString why;
    EXPECT_EQ(first.claim(1s, &why), app::SingleInstance::Claim::First);
    EXPECT_TRUE(why.contains("longer than 107 bytes")) << why.toStdString();
    // A later start does not run beside it.
    EXPECT_EQ(app::SingleInstance(tooLong).claim(200ms), app::SingleInstance::Claim::Unanswered);
}

using HandOverToWindow = WindowTest;

TEST_F(HandOverToWindow, TheShowRequestBringsAHiddenWindowBackAsPropertiesDoes)
{
    tray.available = true;
    TViewForm& window = open();
    window.show();
    window.btnMinimizeClick();
    ASSERT_FALSE(window.isVisible());
    const QString runtime = config.path() + "/run";
    ASSERT_TRUE(QDir().mkpath(runtime));
    const app::InstanceNames names = app::InstanceNamesFor(settingsPath(), runtime);
    app::SingleInstance first(names);
    first.OnShowRequest = [&window] { window.mnuPropertiesClick(); };
    ASSERT_EQ(first.claim(1s), app::SingleInstance::Claim::First);
    ASSERT_EQ(app::SingleInstance(names).claim(300ms), app::SingleInstance::Claim::HandedOver);
    runUntil([&] { return window.isVisible(); });
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.Timer1->isActive());
}

} // namespace
} // namespace testing_support
