// One copy per settings file: the names, the hand-over, stale and hostile peers.
#include "app/single_instance.h"
#include "app/window_fixture.h"
#include "platform/instance_lock.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QLocalSocket>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

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

// What a killed, stopped or foreign process may leave at the lock's path. Only
// a live copy of this program that holds it keeps a start out.
TEST_F(SingleInstanceTest, OnlyALiveCopyHoldingTheLockKeepsAStartOut)
{
    using Claim = app::SingleInstance::Claim;
    QProcess other;   // alive, and not this program
    other.start("sleep", {"30"});
    ASSERT_TRUE(other.waitForStarted());
    const QString self = QString::number(QCoreApplication::applicationPid());
    const auto writeLock = [this](const QByteArray& text) {
        QFile file(names.lockPath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    };
    std::unique_ptr<platform::InstanceLock> held;
    QProcess holder;
    const struct {
        const char* left;
        std::function<void()> make;
        Claim claim;
    } cases[] = {
        {"an empty lock (killed before it wrote)", [&] { writeLock(""); }, Claim::First},
        {"a live process of another program", [&] { writeLock(QByteArray::number(other.processId())); }, Claim::First},
        {"a copy of this program that does not hold it", [&] { writeLock(self.toUtf8() + "\n"); }, Claim::First},
        {"a link", [&] { ASSERT_TRUE(QFile::link(runtime.path() + "/elsewhere", names.lockPath)); }, Claim::First},
        {"a folder", [&] { ASSERT_TRUE(QDir().mkpath(names.lockPath)); }, Claim::First},
        {"held by another program",
         [&] {
             holder.start("flock", {names.lockPath, "sleep", "30"});
             ASSERT_TRUE(holder.waitForStarted());
             runUntil([&] { return QFile::exists(names.lockPath); });
             QThread::msleep(100);
         },
         Claim::First},
        {"held by a live copy that does not answer",
         [&] {
             held = std::make_unique<platform::InstanceLock>(names.lockPath.toStdString());
             ASSERT_EQ(held->tryLock(), platform::InstanceLock::Result::Taken);
         },
         Claim::Unanswered},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.left);
        QDir(runtime.path()).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(runtime.path()));
        c.make();
        app::SingleInstance instance(names);
        QString why;
        EXPECT_EQ(instance.claim(300ms, &why), c.claim) << why.toStdString();
        // Only an unanswered claim has a reason: who holds the lock.
        EXPECT_TRUE(c.claim == Claim::First ? why.isEmpty() : why.contains("process " + self + " holds"))
            << why.toStdString();
        EXPECT_FALSE(QFileInfo(names.lockPath).isSymLink());
        held.reset();
        holder.kill();
        holder.waitForFinished();
    }
    other.kill();
    other.waitForFinished();
    EXPECT_FALSE(QFile::exists(runtime.path() + "/elsewhere"));   // a link's target is never made
}

TEST_F(SingleInstanceTest, IdlePeersBeyondTheBoundAreDroppedAtOnce)
{
    app::SingleInstance first(names);
    ASSERT_EQ(first.claim(1s), app::SingleInstance::Claim::First);
    std::vector<std::unique_ptr<QLocalSocket>> peers;
    for (int i = 0; i < 3 * app::SingleInstance::kWaitingPeersMax; ++i) {
        peers.push_back(std::make_unique<QLocalSocket>());
        peers.back()->connectToServer(names.serverPath);
        // One thread: the server takes connections only while events run.
        runUntil([&] { return peers.back()->state() != QLocalSocket::ConnectingState; });
    }
    const auto connected = [&] {
        return std::count_if(peers.begin(), peers.end(),
                             [](const auto& peer) { return peer->state() == QLocalSocket::ConnectedState; });
    };
    runUntil([&] { return connected() <= app::SingleInstance::kWaitingPeersMax; });
    EXPECT_EQ(connected(), app::SingleInstance::kWaitingPeersMax);
    // Each is dropped after its quiet time; then a start is answered again.
    runUntil([&] { return connected() == 0; });
    EXPECT_EQ(connected(), 0);
    EXPECT_EQ(app::SingleInstance(names).claim(300ms), app::SingleInstance::Claim::HandedOver);
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

TEST_F(SingleInstanceTest, ARuntimeDirectoryTooDeepForASocketFallsBackToAPrivateShortOne)
{
    const QString deep = runtime.path() + "/" + QString(100, 'd');
    ASSERT_TRUE(QDir().mkpath(deep));
    const app::InstanceNames moved = app::InstanceNamesFor(runtime.path() + "/Tikora.ini", deep, runtime.path());
    const QString folder = runtime.path() + "/tikora-" + QString::number(::getuid());
    EXPECT_TRUE(moved.serverPath.startsWith(folder + "/tikora-")) << moved.serverPath.toStdString();
    EXPECT_TRUE(moved.problem.isEmpty());
    app::SingleInstance first(moved);
    QString why;
    EXPECT_EQ(first.claim(1s, &why), app::SingleInstance::Claim::First);
    EXPECT_TRUE(why.isEmpty()) << why.toStdString();
    EXPECT_EQ(app::SingleInstance(moved).claim(300ms), app::SingleInstance::Claim::HandedOver);

    // With no safe short folder, still the one copy, and it says why.
    ASSERT_EQ(::chmod(folder.toLocal8Bit().constData(), 0755), 0);
    const app::InstanceNames unsafe = app::InstanceNamesFor(runtime.path() + "/Other.ini", deep, runtime.path());
    app::SingleInstance alone(unsafe);
    EXPECT_EQ(alone.claim(1s, &why), app::SingleInstance::Claim::First);
    EXPECT_TRUE(why.contains("longer than 107 bytes")) << why.toStdString();
    EXPECT_TRUE(why.contains("its mode is 0755")) << why.toStdString();
}

// The short folder is used only when no other user can have made or reached it.
TEST_F(SingleInstanceTest, TheShortFolderMustBeOursAloneAndNoLink)
{
    const QString folder = runtime.path() + "/tikora-" + QString::number(::getuid());
    const QByteArray path = folder.toLocal8Bit();
    const struct {
        const char* state;
        std::function<void()> make;
        const char* problem;   // nullptr: used
    } cases[] = {
        {"missing", [] {}, nullptr},
        {"ours, 0700", [&] { ASSERT_EQ(::mkdir(path, 0700), 0); }, nullptr},
        {"ours, 0755", [&] { ASSERT_EQ(::mkdir(path, 0700) | ::chmod(path, 0755), 0); }, "its mode is 0755"},
        {"a link to a 0700 folder",
         [&] {
             ASSERT_EQ(::mkdir(path + "-real", 0700), 0);
             ASSERT_EQ(::symlink(path + "-real", path), 0);
         },
         "not a folder"},
        {"a file", [&] { QFile(folder).open(QIODevice::WriteOnly); }, "not a folder"},
        {"another user's",
         [&] { ASSERT_EQ(::mkdir(path, 0700) | ::chown(path, ::getuid() + 1, ::getgid()), 0); },
         "another user owns it"},
    };
    for (const auto& c : cases) {
        if (::getuid() != 0 && std::string(c.state) == "another user's")
            continue;   // only root can give a folder away
        QDir(runtime.path()).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(runtime.path()));
        c.make();
        QString why;
        const QString got = app::PrivateShortDirectory(runtime.path(), &why);
        if (!c.problem) {
            EXPECT_EQ(got, folder) << c.state;
            struct stat status {};
            ASSERT_EQ(::lstat(path, &status), 0) << c.state;
            EXPECT_EQ(status.st_mode & 07777, 0700u) << c.state;
        } else {
            EXPECT_TRUE(got.isEmpty()) << c.state;
            EXPECT_TRUE(why.contains(c.problem)) << c.state << ": " << why.toStdString();
        }
    }
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
