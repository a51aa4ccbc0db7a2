#include "platform/process_signals.h"

#include "platform/exception.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace platform {
namespace {

// The pipe's ends; -1 while no object catches signals.
int pipeRead = -1;
volatile std::sig_atomic_t pipeWrite = -1;

extern "C" void writeToPipe(int signalNumber)
{
    const int savedErrno = errno;
    const auto byte = static_cast<unsigned char>(signalNumber);
    // A full pipe already holds enough wake-ups; the byte may be dropped.
    [[maybe_unused]] const ssize_t written = ::write(pipeWrite, &byte, 1);
    errno = savedErrno;
}

} // namespace

struct ProcessSignals::Previous {
    std::vector<std::pair<int, struct sigaction>> actions;
};

ProcessSignals::ProcessSignals(std::initializer_list<int> signalNumbers, Handler handler)
    : handler_(std::move(handler)), previous_(std::make_unique<Previous>())
{
    if (pipeRead >= 0)
        throw Exception("Signals are already caught by another object");
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        throw Exception(std::string("Unable to catch signals: ") + std::strerror(errno));
    pipeRead = ends[0];
    pipeWrite = ends[1];
    notifier_ = std::make_unique<QSocketNotifier>(pipeRead, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { deliver(); });

    struct sigaction action = {};
    action.sa_handler = writeToPipe;
    sigemptyset(&action.sa_mask);
    // Restarted calls: a signal must not make a blocking read elsewhere fail.
    action.sa_flags = SA_RESTART;
    for (int number : signalNumbers) {
        struct sigaction old = {};
        // Ignored by whoever started us (nohup, a background job): stays ignored.
        if (::sigaction(number, nullptr, &old) != 0 || old.sa_handler == SIG_IGN)
            continue;
        if (::sigaction(number, &action, nullptr) == 0)
            previous_->actions.emplace_back(number, old);
    }
}

ProcessSignals::~ProcessSignals()
{
    for (const auto& [number, old] : previous_->actions)
        ::sigaction(number, &old, nullptr);
    notifier_.reset();
    const int writeEnd = pipeWrite;
    pipeWrite = -1;
    ::close(writeEnd);
    ::close(pipeRead);
    pipeRead = -1;
}

void ProcessSignals::deliver()
{
    unsigned char numbers[64];
    ssize_t count = 0;
    // Read everything first: the handler may end the loop or destroy this object.
    std::vector<int> received;
    while ((count = ::read(pipeRead, numbers, sizeof numbers)) > 0)
        received.insert(received.end(), numbers, numbers + count);
    const Handler handler = handler_;
    for (int number : received)
        if (handler)
            handler(number);
}

} // namespace platform
