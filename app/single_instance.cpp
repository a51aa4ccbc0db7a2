#include "app/single_instance.h"

#include "platform/instance_lock.h"
#include "platform/local_client.h"
#include "platform/local_listener.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace app {
namespace {

// The whole conversation: one request, one answer.
constexpr char kShowRequest[] = "show\n";
constexpr char kShown[] = "shown\n";
// Longer requests are no request of ours.
constexpr std::size_t kRequestMax = 64;
// A peer that says nothing within this time is dropped.
constexpr int kPeerQuietMs = 2000;
// Between tries while another copy is starting at the same moment.
constexpr unsigned long kRetryPauseMs = 50;
// A single connect may not use the whole bound: the lock is tried in between.
constexpr int kConnectMaxMs = 250;

int remainingMs(const QDeadlineTimer& deadline)
{
    return static_cast<int>(std::max<qint64>(deadline.remainingTime(), 0));
}

InstanceNames namesIn(const QString& directory, const QString& digest)
{
    const QString base = directory + QStringLiteral("/tikora-") + digest;
    return {base + QStringLiteral(".lock"), base + QStringLiteral(".socket"), {}};
}

} // namespace

InstanceNames InstanceNamesFor(const QString& settingsPath, const QString& runtimeDirectory, const QString& shortBase)
{
    // The same directory reached through a link is the same settings file.
    const QFileInfo settings(settingsPath);
    QString directory = QFileInfo(settings.absolutePath()).canonicalFilePath();
    if (directory.isEmpty())
        directory = settings.absolutePath();
    const QByteArray key = (directory + QLatin1Char('/') + settings.fileName()).toUtf8();
    // A hash keeps the socket's path short and free of odd characters.
    const QString digest = QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex().left(16));
    InstanceNames names = namesIn(runtimeDirectory, digest);
    if (names.serverPath.toUtf8().size() <= kSocketPathMax)
        return names;
    QString why;
    const QString shortDirectory = PrivateShortDirectory(shortBase, &why);
    if (shortDirectory.isEmpty()) {
        names.problem = why;
        return names;
    }
    return namesIn(shortDirectory, digest);
}

QString RuntimeDirectory()
{
    const QString directory = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return directory.isEmpty() ? QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) : directory;
}

QString PrivateShortDirectory(const QString& base, QString* why)
{
    const QString directory = base + QStringLiteral("/tikora-") + QString::number(::getuid());
    const QByteArray path = directory.toLocal8Bit();
    ::mkdir(path.constData(), 0700);
    struct stat status {};
    QString problem;
    if (::lstat(path.constData(), &status) != 0)
        problem = QString::fromLocal8Bit(std::strerror(errno));
    else if (!S_ISDIR(status.st_mode))
        problem = QStringLiteral("it is not a folder");
    else if (status.st_uid != ::getuid())
        problem = QStringLiteral("another user owns it");
    else if ((status.st_mode & 07777) != 0700)
        problem = QStringLiteral("its mode is %1, not 0700").arg(status.st_mode & 07777, 4, 8, QLatin1Char('0'));
    if (problem.isEmpty())
        return directory;
    if (why)
        *why = QStringLiteral("the runtime folder's names are longer than %1 bytes and %2 is unsafe: %3")
                   .arg(kSocketPathMax)
                   .arg(directory, problem);
    return {};
}

SingleInstance::SingleInstance(const InstanceNames& names, QObject* parent) : QObject(parent), names_(names) {}

SingleInstance::~SingleInstance()
{
    // The socket goes before the lock, so a copy that takes the lock finds no old socket of ours.
    listener_.reset();
    lock_.reset();
}

SingleInstance::Claim SingleInstance::claim(std::chrono::milliseconds bound, QString* why)
{
    using Result = platform::InstanceLock::Result;
    const QDeadlineTimer deadline(bound);
    lock_ = std::make_unique<platform::InstanceLock>(names_.lockPath.toStdString());
    for (;;) {
        // A copy that answers is running, whatever its lock file says.
        if (askToShow(deadline))
            return Claim::HandedOver;
        Result result = lock_->tryLock();
        if (result == Result::Held && deadline.hasExpired()) {
            const pid_t holder = lock_->holder();
            if (platform::RunsThisProgram(holder)) {
                if (why)
                    *why = QStringLiteral("process %1 holds %2 but does not answer on %3")
                               .arg(holder)
                               .arg(names_.lockPath, names_.serverPath);
                lock_.reset();
                return Claim::Unanswered;
            }
            // Held all this time by a process that is not one of us: it guards nothing.
            if (lock_->breakLock())
                result = lock_->tryLock();
            if (result == Result::Held) {
                if (why)
                    *why = QStringLiteral("a process that is not this program holds %1").arg(names_.lockPath);
                lock_.reset();
                return Claim::Unanswered;
            }
        }
        if (result == Result::Taken) {
            listen(why);
            return Claim::First;
        }
        if (result == Result::Failed) {
            if (why)
                *why = QString::fromStdString(lock_->error());
            if (why && !names_.problem.isEmpty())
                *why += QStringLiteral("; ") + names_.problem;
            lock_.reset();
            return Claim::Unguarded;
        }
        QThread::msleep(std::min<unsigned long>(kRetryPauseMs, remainingMs(deadline) + 1));
    }
}

bool SingleInstance::askToShow(const QDeadlineTimer& deadline)
{
    const int socket = platform::ConnectLocal(names_.serverPath.toStdString(),
                                              std::min(remainingMs(deadline), kConnectMaxMs));
    if (socket < 0)
        return false;
    const bool delivered = platform::SendAll(socket, kShowRequest, remainingMs(deadline));
    // Delivered: a copy busy elsewhere shows its window when it gets to it.
    if (delivered)
        platform::AwaitLine(socket, kRequestMax, remainingMs(deadline));
    ::close(socket);
    return delivered;
}

void SingleInstance::listen(QString* why)
{
    listener_ = std::make_unique<platform::LocalListener>([this](int descriptor) { answer(descriptor); });
    const std::string failure = listener_->listen(names_.serverPath.toStdString());
    if (failure.empty())
        return;
    // Still the one copy: later starts find the lock and say why they stop.
    listener_.reset();
    if (why) {
        *why = QStringLiteral("cannot listen on ") + names_.serverPath + QStringLiteral(": ") +
               QString::fromStdString(failure);
        if (!names_.problem.isEmpty())
            *why += QStringLiteral("; ") + names_.problem;
    }
}

void SingleInstance::answer(int descriptor)
{
    // Idle peers hold descriptors: beyond a few, the newest is dropped at once.
    if (static_cast<int>(peers_.size()) >= kWaitingPeersMax) {
        ::close(descriptor);
        return;
    }
    auto peer = std::make_unique<Peer>();
    Peer* raw = peer.get();
    raw->descriptor = descriptor;
    raw->readable = std::make_unique<QSocketNotifier>(descriptor, QSocketNotifier::Read);
    QObject::connect(raw->readable.get(), &QSocketNotifier::activated, this, [this, raw] { read(raw); });
    raw->quiet.setSingleShot(true);
    QObject::connect(&raw->quiet, &QTimer::timeout, this, [this, raw] { drop(raw); });
    raw->quiet.start(kPeerQuietMs);
    peers_.push_back(std::move(peer));
}

void SingleInstance::read(Peer* peer)
{
    char buffer[kRequestMax + 1];
    const ssize_t got = ::recv(peer->descriptor, buffer, sizeof buffer, MSG_DONTWAIT);
    if (got < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (got <= 0) {   // gone, or broken
        drop(peer);
        return;
    }
    peer->received.append(buffer, static_cast<std::size_t>(got));
    const std::size_t end = peer->received.find('\n');
    if (end == std::string::npos) {
        if (peer->received.size() > kRequestMax)
            drop(peer);
        return;
    }
    const bool show = peer->received.substr(0, end + 1) == kShowRequest;
    if (show)
        [[maybe_unused]] const auto sent = ::send(peer->descriptor, kShown, sizeof kShown - 1, MSG_DONTWAIT | MSG_NOSIGNAL);
    drop(peer);
    if (show && OnShowRequest)
        OnShowRequest();
}

// Closed and forgotten; deleted later, as it may be the sender of this very event.
void SingleInstance::drop(Peer* peer)
{
    const auto found = std::find_if(peers_.begin(), peers_.end(), [peer](const auto& p) { return p.get() == peer; });
    if (found == peers_.end())
        return;
    peer->readable->setEnabled(false);
    peer->quiet.stop();
    ::close(peer->descriptor);
    std::unique_ptr<Peer> gone = std::move(*found);
    peers_.erase(found);
    QTimer::singleShot(0, [gone = std::shared_ptr<Peer>(std::move(gone))] {});
}

} // namespace app
