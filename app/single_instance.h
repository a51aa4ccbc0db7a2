#pragma once
// One copy of the program per settings file. Two copies would each write the
// file at exit, the last undoing the other's changes, and would show two tray
// icons. The first copy holds a lock file and listens on a local socket, both
// in $XDG_RUNTIME_DIR and named from the settings file's path; a later start
// asks it to show its window and ends.

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QDeadlineTimer;


namespace platform {
class InstanceLock;
class LocalListener;
}

namespace app {

struct InstanceNames {
    QString lockPath;
    QString serverPath;
    QString problem;   // why the names are not where they should be; empty when they are
};

// A local socket's address holds this many bytes of path (sun_path less its terminating zero).
inline constexpr int kSocketPathMax = 107;

// The lock file and the socket for a settings file, in the given directory;
// when the socket's path would not fit there, in a folder of this user's own
// under `shortBase` (see PrivateShortDirectory).
InstanceNames InstanceNamesFor(const QString& settingsPath, const QString& runtimeDirectory,
                               const QString& shortBase = QStringLiteral("/tmp"));
// $XDG_RUNTIME_DIR, or Qt's private fallback when it is not set.
QString RuntimeDirectory();
// `base`/tikora-UID, made 0700 when missing and used only when it is a real
// folder (not a link) of this user's with mode 0700, so no other user can
// have made it first or reach into it. Empty, with the reason, otherwise.
QString PrivateShortDirectory(const QString& base, QString* why);

class SingleInstance : public QObject {
public:
    enum class Claim {
        First,        // this is the one copy: it listens for later starts
        HandedOver,   // another copy runs and was asked to show its window
        Unanswered,   // another copy holds the lock but could not be reached
        Unguarded,    // neither lock nor socket could be made: runs unguarded
    };
    // At most this many later starts wait for an answer at once; more are dropped.
    static constexpr int kWaitingPeersMax = 8;

    explicit SingleInstance(const InstanceNames& names, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Becomes the one copy or hands over to it; waits at most `bound` for a
    // copy that is starting at the same moment. `why` tells what failed.
    Claim claim(std::chrono::milliseconds bound, QString* why = nullptr);

    // Runs on the event loop when a later start asks for the window.
    std::function<void()> OnShowRequest;

private:
    bool askToShow(const QDeadlineTimer& deadline);
    void listen(QString* why);
    // A later start that connected, until it has said what it wants.
    struct Peer {
        int descriptor = -1;
        std::unique_ptr<QSocketNotifier> readable;
        QTimer quiet;   // drops a peer that says nothing
        std::string received;
    };
    void answer(int descriptor);
    void read(Peer* peer);
    void drop(Peer* peer);

    InstanceNames names_;
    std::unique_ptr<platform::InstanceLock> lock_;
    std::unique_ptr<platform::LocalListener> listener_;
    std::vector<std::unique_ptr<Peer>> peers_;
};

} // namespace app
