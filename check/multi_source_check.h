#pragma once
// A check of several sources at once: one engine per source, each with its
// own transport and protocol and the engine's every rule (time-out, retries,
// sanity checks, kiss-o'-death), all started together, so the check takes as
// long as its slowest source. Once every source has ended, the selection says
// which to believe. Never sets the clock.

#include "check/answer.h"
#include "check/check_engine.h"
#include "check/source_addresses.h"
#include "check/source_selection.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace check {

// How one source ended.
struct SourceEnd {
    int number = 0;        // 1 for the first source given
    std::string server;    // as the user gave it
    std::string address;   // the address asked; the server's text when none was reached
    std::optional<CheckResult> result;   // answered
    Answer answer;                       // of the result, as the PC's clock read on its arrival
    Failure failure;                     // not answered: why
};

struct MultiSourceResult {
    std::vector<SourceEnd> sources;   // in the order given
    Selection selection;
    // A majority's result: the selected source's answer, its error bound the
    // selection's; none when the servers disagree or none answered.
    std::optional<Answer> combined;
    const SourceEnd* selected() const
    {
        return selection.selected < 0 ? nullptr : &sources[static_cast<std::size_t>(selection.selected)];
    }
};

// Why a check of several sources has no result: "No server answered" or
// "The servers disagree".
std::string SeveralSourcesFailure(const MultiSourceResult& result);

// "127.0.0.2", or "192.0.2.1 (pool.example)" for an address of a name.
std::string SourceLabel(const SourceEnd& source);
// The line a source's end is logged with, after its number:
// ">127.0.0.2: offset +0.000012 s, delay 0.000080 s, stratum 8", or why it failed.
std::string SourceEndLine(const SourceEnd& source);

struct MultiSourceSetup {
    std::string port;
    int timeOutSeconds = 10;
    int retries = 3;
    KissStore* kissStore = nullptr;
    std::function<std::int64_t()> nowUnixSeconds;   // for the kiss store
    std::optional<std::int64_t> earliestServerTime; // none: the engine's own floor
    std::function<LocalReading()> localNow;         // the PC's clock as an answer arrives
};

struct MultiSourceEvents {
    // Every engine's log line, numbered by its source.
    std::function<void(int sourceNumber, const std::string& line)> log;
    std::function<void(const SourceEnd& source)> sourceEnded;
    // Once, after the last source ended.
    std::function<void(const MultiSourceResult& result)> finished;
};

// A step a source takes before its engine asks (authenticated time's key
// exchange), owning the protocol the engine then runs. `done` comes from the
// event loop, once, and never after cancel() or destruction.
class SourcePreparation {
public:
    struct Ready {
        std::string error;   // non-empty: the source failed, and why
        std::string host;    // what the engine asks
        std::string port;    // empty: the check's port
    };
    using Log = std::function<void(const std::string& line)>;
    using Done = std::function<void(const Ready& ready)>;

    virtual ~SourcePreparation() = default;
    virtual CheckProtocol& protocol() = 0;
    virtual void start(const Source& source, Log log, Done done) = 0;
    virtual void cancel() = 0;
    // False when a retry must prepare again first (the keys are spent).
    virtual bool readyToAsk() const = 0;
};

class MultiSourceCheck {
public:
    using TransportFactory = std::function<std::unique_ptr<Transport>()>;
    using ProtocolFactory = std::function<std::unique_ptr<CheckProtocol>()>;
    using PreparationFactory = std::function<std::unique_ptr<SourcePreparation>()>;

    // The scheduler outlives the check. Not to be destroyed inside its own events.
    MultiSourceCheck(Scheduler& scheduler, TransportFactory transports, ProtocolFactory protocols,
                     MultiSourceSetup setup, MultiSourceEvents events);
    ~MultiSourceCheck();
    MultiSourceCheck(const MultiSourceCheck&) = delete;
    MultiSourceCheck& operator=(const MultiSourceCheck&) = delete;

    // Every source prepares first, with its preparation's protocol instead of the factory's.
    void prepareSourcesWith(PreparationFactory preparations) { preparations_ = std::move(preparations); }

    // Asks every source at once; a source with an error ends failed at once.
    void start(const std::vector<Source>& sources);
    // Ends every source still running with `line` (">Stopped", say).
    void stop(const std::string& line);
    bool running() const { return running_; }

private:
    struct Runner;
    void prepare(Runner& runner);
    void prepared(Runner& runner, const SourcePreparation::Ready& ready);
    void ended(Runner& runner);
    void finishIfDone();

    Scheduler& scheduler_;
    TransportFactory transports_;
    ProtocolFactory protocols_;
    PreparationFactory preparations_;
    MultiSourceSetup setup_;
    MultiSourceEvents events_;
    std::vector<std::unique_ptr<Runner>> runners_;
    bool running_ = false;
};

} // namespace check
