#include "check/ntp_protocol.h"

#include "net/socket_types.h"

#include <algorithm>
#include <cstdio>

namespace check {
namespace {
constexpr int kDatagramRoom = 512;   // room for extension fields, which are not read
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

Reading NtpProtocol::consume(TSocketBase& socket)
{
    char datagram[kDatagramRoom];
    const int count = socket.Read(datagram, sizeof datagram);
    if (count == 0 && socket.LastError == ws::WSAEWOULDBLOCK)
        return Reading::needMore();
    // Between samples nothing is asked: a duplicate of the last answer is dropped.
    if (!awaiting_)
        return Reading::needMore();
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(datagram);
    const ntp::ReplyCheck check = ntp::CheckReply({bytes, static_cast<std::size_t>(count)}, requestBits_);
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
        return Reading::failed(">Error: " + text + ".", capitalised(text));
    }
    case ntp::VerdictKind::Accept:
        break;
    }
    return accept(check.reply);
}

Reading NtpProtocol::accept(const ntp::Reply& reply)
{
    const std::int64_t t4 = clock_.RealtimeNanoseconds();
    const std::int64_t elapsed = std::max<std::int64_t>(0, clock_.MonotonicNanoseconds() - sentMonotonicNs_);
    awaiting_ = false;
    const ntp::Exchange exchange{ntp::UnixNanosecondsFromNtp(reply.receive, t4),
                                 ntp::UnixNanosecondsFromNtp(reply.transmit, t4), t4, elapsed};
    taken_.push_back({ntp::MeasureExchange(exchange), reply, t4});
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
    reading.referenceId = best.reply.referenceIdText();
    reading.leap = best.reply.leap;
    reading.samples = static_cast<int>(taken_.size());
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
