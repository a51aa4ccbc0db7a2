#include "app/single_instance.h"

#include "platform/instance_lock.h"
#include "platform/local_listener.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

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
constexpr qint64 kRequestMax = 64;
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
    QLocalSocket socket;
    socket.connectToServer(names_.serverPath);
    if (!socket.waitForConnected(std::min(remainingMs(deadline), kConnectMaxMs)))
        return false;
    socket.write(kShowRequest);
    if (!socket.waitForBytesWritten(remainingMs(deadline)))
        return false;
    // Delivered: a copy busy elsewhere shows its window when it gets to it.
    while (!socket.canReadLine() && socket.state() == QLocalSocket::ConnectedState &&
           socket.waitForReadyRead(remainingMs(deadline))) {
    }
    return true;
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
    if (waitingPeers_ >= kWaitingPeersMax) {
        ::close(descriptor);
        return;
    }
    auto* peer = new QLocalSocket(this);
    if (!peer->setSocketDescriptor(descriptor)) {
        ::close(descriptor);
        delete peer;
        return;
    }
    ++waitingPeers_;
    connect(peer, &QObject::destroyed, this, [this] { --waitingPeers_; });
    connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
    QTimer::singleShot(kPeerQuietMs, peer, [this, peer] { drop(peer); });
    const auto read = [this, peer] {
        if (!peer->canReadLine()) {
            if (peer->bytesAvailable() > kRequestMax)
                drop(peer);
            return;
        }
        const bool show = peer->readLine(kRequestMax + 1) == kShowRequest;
        if (!show) {
            drop(peer);
            return;
        }
        peer->write(kShown);
        peer->flush();
        peer->disconnectFromServer();
        if (OnShowRequest)
            OnShowRequest();
    };
    connect(peer, &QLocalSocket::readyRead, this, read);
    read();
}

void SingleInstance::drop(QLocalSocket* peer)
{
    peer->abort();
    peer->deleteLater();
}

} // namespace app
