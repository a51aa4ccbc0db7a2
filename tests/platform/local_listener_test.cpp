// The one-copy socket outlives a process that ran out of descriptors.
#include "platform/local_listener.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <vector>

namespace platform {
namespace {

void runFor(int milliseconds, const std::function<bool()>& done = [] { return false; })
{
    const QDeadlineTimer deadline(milliseconds);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
}

int connectTo(const std::string& path)
{
    const int descriptor = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    if (::connect(descriptor, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(descriptor);
        return -1;
    }
    return descriptor;
}

int openDescriptors() { return static_cast<int>(QDir("/proc/self/fd").entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size()); }

TEST(LocalListener, OutlivesRunningOutOfDescriptors)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer runtime needs descriptors of its own; the normal build runs this";
#endif
    QTemporaryDir dir;
    const std::string path = (dir.path() + "/s.socket").toStdString();
    std::vector<int> kept;   // a handler that never lets go, as idle peers would
    LocalListener listener([&kept](int descriptor) { kept.push_back(descriptor); });
    ASSERT_EQ(listener.listen(path), "");
    struct stat status {};
    ASSERT_EQ(::stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);

    std::vector<int> clients;
    for (int i = 0; i < 10; ++i)
        clients.push_back(connectTo(path));
    rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    const rlimit low{static_cast<rlim_t>(openDescriptors() + 3), saved.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    runFor(300);
    const std::size_t acceptedWhileShort = kept.size();
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &saved), 0);
    EXPECT_LT(acceptedWhileShort, 10u);
    // The rest goes on after the rest: the socket still listens.
    for (int descriptor : kept)
        ::close(descriptor);
    kept.clear();
    clients.push_back(connectTo(path));
    EXPECT_GE(clients.back(), 0);
    runFor(3000, [&] { return !kept.empty(); });
    EXPECT_FALSE(kept.empty());
    kept.insert(kept.end(), clients.begin(), clients.end());
    for (int descriptor : kept)
        ::close(descriptor);
}

} // namespace
} // namespace platform
