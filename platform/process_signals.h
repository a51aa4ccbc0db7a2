#pragma once
// Termination signals as events on the Qt loop. A signal handler may do almost
// nothing, so it only writes the signal's number into a pipe; a
// QSocketNotifier on the other end hands it to the callback on the main
// thread, where the program can end in its own orderly way.

#include <functional>
#include <initializer_list>
#include <memory>

class QSocketNotifier;

namespace platform {

class ProcessSignals {
public:
    using Handler = std::function<void(int signalNumber)>;

    // Catches the given signals (but not one that is ignored, as nohup
    // leaves SIGHUP) until destroyed, then restores what was there
    // before. One object at a time (the pipe is process-wide); a second one
    // raises Exception. Needs a Qt application object.
    ProcessSignals(std::initializer_list<int> signalNumbers, Handler handler);
    ~ProcessSignals();
    ProcessSignals(const ProcessSignals&) = delete;
    ProcessSignals& operator=(const ProcessSignals&) = delete;

private:
    void deliver();

    Handler handler_;
    std::unique_ptr<QSocketNotifier> notifier_;
    struct Previous;
    std::unique_ptr<Previous> previous_;
};

} // namespace platform
