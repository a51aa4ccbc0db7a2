#include "check/ntp_protocol.h"

#include <algorithm>
#include <cstdio>

namespace check {
namespace {
constexpr std::int64_t kNanosecondsPerSecond = 1'000'000'000;

std::int64_t floorSeconds(std::int64_t nanoseconds)
{
    const std::int64_t seconds = nanoseconds / kNanosecondsPerSecond;
    return nanoseconds % kNanosecondsPerSecond < 0 ? seconds - 1 : seconds;
}

std::string capitalised(std::string text)
{
    if (!text.empty() && text[0] >= 'a' && text[0] <= 'z')
        text[0] = static_cast<char>(text[0] - 'a' + 'A');
    return text;
}
} // namespace

std::string SecondsText(std::int64_t nanoseconds, bool withSign)
{
    // Rounded to the microsecond, away from zero at the half.
    const std::uint64_t magnitude = nanoseconds < 0 ? 0 - static_cast<std::uint64_t>(nanoseconds)
                                                    : static_cast<std::uint64_t>(nanoseconds);
    const std::uint64_t micro = (magnitude + 500) / 1000;
    // What rounds to zero shows no minus sign.
    const bool negative = nanoseconds < 0 && micro > 0;
    char text[48];
    std::snprintf(text, sizeof text, "%s%llu.%06llu", negative ? "-" : (withSign ? "+" : ""),
                  static_cast<unsigned long long>(micro / 1'000'000),
                  static_cast<unsigned long long>(micro % 1'000'000));
    return text;
}

NtpProtocol::NtpProtocol(platform::PreciseClock& clock, int samples) : clock_(clock)
{
    setSamples(samples);
}

void NtpProtocol::setSamples(int samples)
{
    samples_ = std::clamp(samples, 1, kMaxSamples);
}

void NtpProtocol::beginAttempt()
{
    awaiting_ = false;
    taken_.clear();
}

std::optional<std::string> NtpProtocol::request()
{
    // New bits for every request: a late answer to an earlier one is stale.
    requestBits_ = clock_.RandomBits();
    const ntp::PacketBytes packet = ntp::EncodeRequest(requestBits_);
    awaiting_ = true;
    ignoredLogged_ = false;
    // Taken last, as close to the send as this layer can get.
    sentMonotonicNs_ = clock_.MonotonicNanoseconds();
    return std::string(packet.begin(), packet.end());
}

Reading NtpProtocol::consume(const Received& received)
{
    const Arrival arrival = arrivalOf(received);
    // Between samples nothing is asked: a duplicate of the last answer is dropped.
    if (!awaiting_)
        return Reading::needMore();
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(received.bytes.data());
    const ntp::ReplyCheck check = ntp::CheckReply({bytes, received.bytes.size()}, requestBits_);
    switch (ntp::KindOf(check.verdict)) {
    case ntp::VerdictKind::Ignore: {
        // The wait goes on; one note per request, however many arrive.
        if (ignoredLogged_)
            return Reading::needMore();
        ignoredLogged_ = true;
        Reading note = Reading::needMore();
        note.line = ">Note: " + ntp::ReplyCheckText(check) + ".";
        return note;
    }
    case ntp::VerdictKind::Refuse: {
        awaiting_ = false;
        const std::string text = ntp::ReplyCheckText(check);
        Reading refused = Reading::failed(">Error: " + text + ".", capitalised(text));
        if (ntp::HoldsServerBack(check.verdict))
            refused.kissCode = check.reply.referenceIdText();
        return refused;
    }
    case ntp::VerdictKind::Accept:
        break;
    }
    return accept(check.reply, arrival, received.overIpv6 ? ntp::IpFamily::V6 : ntp::IpFamily::V4);
}

// The clocks are read as the datagram is taken; the time it waited in the
// socket for the event loop (kernel's arrival stamp to now) is taken off both,
// or the offset leans by that wait and the delay grows by it.
NtpProtocol::Arrival NtpProtocol::arrivalOf(const Received& received) const
{
    const std::int64_t nowReal = clock_.RealtimeNanoseconds();
    const std::int64_t sinceSend = std::max<std::int64_t>(0, clock_.MonotonicNanoseconds() - sentMonotonicNs_);
    std::int64_t waited = 0;
    if (received.arrivalRealtimeNs)
        // A step of the clock between the arrival and now cannot push it outside the exchange.
        waited = std::clamp<std::int64_t>(nowReal - *received.arrivalRealtimeNs, 0, sinceSend);
    return {nowReal - waited, sinceSend - waited};
}

int NtpProtocol::retryPauseMs(int timeOutsSoFar) const
{
    // Each pause double the last, from a second; never beyond an hour.
    const int doublings = std::clamp(timeOutsSoFar - 1, 0, 12);
    return std::min(kFirstRetryPauseMs << doublings, kLongestRetryPauseMs);
}

Reading NtpProtocol::accept(const ntp::Reply& reply, const Arrival& arrival, ntp::IpFamily family)
{
    const std::int64_t t4 = arrival.realtimeNs;
    const std::int64_t elapsed = arrival.elapsedNs;
    awaiting_ = false;
    const ntp::Exchange exchange{ntp::UnixNanosecondsFromNtp(reply.receive, t4),
                                 ntp::UnixNanosecondsFromNtp(reply.transmit, t4), t4, elapsed};
    const ntp::Sample measured = ntp::MeasureExchange(exchange);
    const ntp::SampleVerdict verdict = ntp::CheckSample(measured);
    if (verdict != ntp::SampleVerdict::Accepted) {
        const std::string text = ntp::SampleCheckText(verdict, measured);
        return Reading::failed(">Error: " + text + ".", capitalised(text));
    }
    taken_.push_back({measured, reply, t4, family});
    const ntp::Sample& sample = taken_.back().sample;
    // One line per sample only when there are several to choose from.
    const std::string line = samples_ == 1 ? std::string()
                                           : ">Sample " + std::to_string(taken_.size()) + " of " +
                                                 std::to_string(samples_) + ": offset " +
                                                 SecondsText(sample.offsetNs, true) + " s, delay " +
                                                 SecondsText(sample.delayNs, false) + " s";
    if (static_cast<int>(taken_.size()) < samples_)
        return Reading::sampleTaken(kSampleSpacingMs, line);
    Reading done = Reading::done(*resultSoFar());
    done.line = line;
    return done;
}

std::optional<CheckResult> NtpProtocol::resultSoFar() const
{
    // The clock filter's rule: the smallest delay, the first of equals.
    const Taken* best = nullptr;
    for (const Taken& taken : taken_)
        if (!best || taken.sample.delayNs < best->sample.delayNs)
            best = &taken;
    if (!best)
        return std::nullopt;
    return resultOf(*best);
}

CheckResult NtpProtocol::resultOf(const Taken& best) const
{
    CheckResult result;
    // The server's time when the chosen answer arrived, as this sample measured it.
    result.serverUnixNanoseconds = best.localReceiveNs + best.sample.offsetNs;
    result.serverUnixSeconds = floorSeconds(result.serverUnixNanoseconds);
    result.subSecond = true;
    NtpReading reading;
    reading.offsetNs = best.sample.offsetNs;
    reading.delayNs = best.sample.delayNs;
    reading.stratum = best.reply.stratum;
    reading.referenceId = best.reply.referenceIdText(best.family);
    reading.leap = best.reply.leap;
    reading.samples = static_cast<int>(taken_.size());
    reading.rootDistanceNs = static_cast<std::int64_t>(
        (best.reply.rootDelaySeconds / 2 + best.reply.rootDispersionSeconds) * double(kNanosecondsPerSecond));
    result.ntp = reading;
    return result;
}

bool NtpProtocol::partial() const
{
    // A datagram is whole or refused: there is never half an answer.
    return false;
}

std::string NtpProtocol::brokenAnswerLine() const
{
    return ">Error: the reply is shorter than 48 bytes.";
}

} // namespace check
