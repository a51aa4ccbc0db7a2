#include "app/single_instance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

#include <algorithm>

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
// What a local socket's address holds (sun_path less its terminating zero).
constexpr int kSocketPathMax = 107;

int remainingMs(const QDeadlineTimer& deadline)
{
    return static_cast<int>(std::max<qint64>(deadline.remainingTime(), 0));
}

} // namespace

InstanceNames InstanceNamesFor(const QString& settingsPath, const QString& runtimeDirectory)
{
    // The same directory reached through a link is the same settings file.
    const QFileInfo settings(settingsPath);
    QString directory = QFileInfo(settings.absolutePath()).canonicalFilePath();
    if (directory.isEmpty())
        directory = settings.absolutePath();
    const QByteArray key = (directory + QLatin1Char('/') + settings.fileName()).toUtf8();
    // A hash keeps the socket's path short (108 bytes at most) and free of odd characters.
    const QString digest = QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex().left(16));
    const QString base = runtimeDirectory + QStringLiteral("/tikora-") + digest;
    return {base + QStringLiteral(".lock"), base + QStringLiteral(".socket")};
}

QString RuntimeDirectory()
{
    const QString directory = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return directory.isEmpty() ? QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) : directory;
}

SingleInstance::SingleInstance(const InstanceNames& names, QObject* parent) : QObject(parent), names_(names) {}

SingleInstance::~SingleInstance()
{
    // The socket goes before the lock, so a copy that takes the lock finds no old socket of ours.
    delete server_;
    server_ = nullptr;
    lock_.reset();
}

SingleInstance::Claim SingleInstance::claim(std::chrono::milliseconds bound, QString* why)
{
    const QDeadlineTimer deadline(bound);
    lock_ = std::make_unique<QLockFile>(names_.lockPath);
    // Stale only when its process is gone: a copy may run for months.
    lock_->setStaleLockTime(0);
    for (;;) {
        // A copy that answers is running, whatever its lock file says.
        if (askToShow(deadline))
            return Claim::HandedOver;
        if (lock_->tryLock(0)) {
            listen(why);
            return Claim::First;
        }
        if (lock_->error() != QLockFile::LockFailedError) {
            if (why)
                *why = QStringLiteral("cannot make the lock file ") + names_.lockPath;
            lock_.reset();
            return Claim::Unguarded;
        }
        if (deadline.hasExpired()) {
            qint64 pid = 0;
            QString host, application;
            lock_->getLockInfo(&pid, &host, &application);
            if (why)
                *why = QStringLiteral("process %1 holds %2 but does not answer on %3")
                           .arg(pid)
                           .arg(names_.lockPath, names_.serverPath);
            lock_.reset();
            return Claim::Unanswered;
        }
        QThread::msleep(kRetryPauseMs);
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
    // Left behind by a copy that was killed: nobody listens on it any more.
    QLocalServer::removeServer(names_.serverPath);
    auto* server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(names_.serverPath)) {
        // Still the one copy: later starts find the lock and say why they stop.
        const QString reason = names_.serverPath.toUtf8().size() > kSocketPathMax
                                   ? QStringLiteral("the path is longer than %1 bytes").arg(kSocketPathMax)
                                   : server->errorString();
        if (why)
            *why = QStringLiteral("cannot listen on ") + names_.serverPath + QStringLiteral(": ") + reason;
        delete server;
        return;
    }
    server_ = server;
    connect(server_, &QLocalServer::newConnection, this, &SingleInstance::answer);
}

void SingleInstance::answer()
{
    while (QLocalSocket* peer = server_->nextPendingConnection()) {
        connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
        QTimer::singleShot(kPeerQuietMs, peer, [peer] { peer->abort(); });
        const auto read = [this, peer] {
            if (!peer->canReadLine()) {
                if (peer->bytesAvailable() > kRequestMax)
                    peer->abort();
                return;
            }
            const bool show = peer->readLine(kRequestMax + 1) == kShowRequest;
            if (!show) {
                peer->abort();
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
}

} // namespace app
