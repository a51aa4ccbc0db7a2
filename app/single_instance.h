#pragma once
// One copy of the program per settings file. Two copies would each write the
// file at exit, the last undoing the other's changes, and would show two tray
// icons. The first copy holds a lock file and listens on a local socket, both
// in $XDG_RUNTIME_DIR and named from the settings file's path; a later start
// asks it to show its window and ends.

#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>

class QDeadlineTimer;
class QLocalServer;
class QLockFile;

namespace app {

struct InstanceNames {
    QString lockPath;
    QString serverPath;
};

// The lock file and the socket for a settings file, in the given directory.
InstanceNames InstanceNamesFor(const QString& settingsPath, const QString& runtimeDirectory);
// $XDG_RUNTIME_DIR, or Qt's private fallback when it is not set.
QString RuntimeDirectory();

class SingleInstance : public QObject {
public:
    enum class Claim {
        First,        // this is the one copy: it listens for later starts
        HandedOver,   // another copy runs and was asked to show its window
        Unanswered,   // another copy holds the lock but could not be reached
        Unguarded,    // neither lock nor socket could be made: runs unguarded
    };

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
    void answer();

    InstanceNames names_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer* server_ = nullptr;
};

} // namespace app
