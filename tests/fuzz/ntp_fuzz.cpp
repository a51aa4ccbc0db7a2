// libFuzzer target for NTP replies: any bytes decode and check without a
// crash or a sanitizer report; every verdict has a line; nothing short or
// unanswering is ever refused (a forged packet must not end a check); an
// accepted reply has a server hold within its limits and measures without
// overflow, and a negative delay never passes CheckSample; timestamps
// convert both ways; the server's time has a date line; an encoded request
// decodes to what was put in.
#include "check/server_time_floor.h"
#include "net/ntp_packet.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

namespace {

[[noreturn]] void failed(const char* what)
{
    std::fprintf(stderr, "property broken: %s\n", what);
    std::abort();
}

constexpr std::int64_t kNanosecondsPerSecond = 1'000'000'000;
// Era 0 starts on 1900-01-01; a local clock up to 2^33 s later (2172) keeps
// every nearest moment inside int64 nanoseconds.
constexpr std::int64_t kUnixSecondsOf1900 = -2208988800;

void checkRequestRoundTrip(std::uint64_t bits)
{
    const ntp::PacketBytes request = ntp::EncodeRequest(bits);
    const auto decoded = ntp::DecodeReply(request);
    if (!decoded || decoded->mode != 3 || decoded->version != 4 || decoded->leap != 0 || decoded->stratum != 0 ||
        decoded->transmit != bits || decoded->origin != 0 || decoded->receive != 0 || decoded->reference != 0)
        failed("an encoded request does not decode to what was put in");
}

void checkEra(std::uint64_t stamp, std::int64_t near)
{
    const std::int64_t moment = ntp::UnixNanosecondsFromNtp(stamp, near);
    const std::int64_t distance = moment > near ? moment - near : near - moment;
    if (distance > (std::int64_t{1} << 31) * kNanosecondsPerSecond)
        failed("a timestamp was placed more than half an era from the local clock");
    const std::uint64_t back = ntp::NtpFromUnixNanoseconds(moment);
    // Unsigned wrap: 0xFFFFFFFF.FFFFFFFF and 0 are neighbours.
    const std::uint64_t gap = std::min(back - stamp, stamp - back);
    if (gap > 5)   // one nanosecond is 4.3 units of 2^-32 s
        failed("a timestamp converted back is off by more than a nanosecond");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> bytes(data, size);
    const auto decoded = ntp::DecodeReply(bytes);
    if (decoded.has_value() != (size >= ntp::kPacketSize))
        failed("decoding depends on something other than the length");

    // Even lengths answer the request they claim, so every later check is reached.
    const std::uint64_t bits = decoded && size % 2 == 0 ? decoded->origin : 0x0123456789ABCDEFu;
    const ntp::ReplyCheck check = ntp::CheckReply(bytes, bits);
    if (ntp::ReplyCheckText(check).empty())
        failed("a verdict without a line");
    if ((ntp::KindOf(check.verdict) == ntp::VerdictKind::Accept) != (check.verdict == ntp::ReplyVerdict::Accepted))
        failed("only an accepted reply is of the accepting kind");
    const bool answersUs = decoded && decoded->origin == bits && bits != 0;
    if (ntp::KindOf(check.verdict) == ntp::VerdictKind::Refuse && !answersUs)
        failed("a datagram that does not answer our request ended the check");
    if (ntp::HoldsServerBack(check.verdict) && !ntp::ForbidsRetry(check.verdict))
        failed("a server held back for an hour was asked again at once");
    if (decoded) {
        (void)decoded->referenceIdText(ntp::IpFamily::V4);
        const std::string hash = decoded->referenceIdText(ntp::IpFamily::V6);
        if (decoded->stratum >= 2 && hash.size() != 8)
            failed("an IPv6 reference id is not eight hex digits");
    }
    checkRequestRoundTrip(bits ^ size);
    if (!decoded)
        return 0;

    // The reference timestamp picks the local clock and the elapsed time.
    const std::int64_t near =
        (kUnixSecondsOf1900 + 2 * static_cast<std::int64_t>(decoded->reference >> 32)) * kNanosecondsPerSecond;
    const auto elapsed = static_cast<std::int64_t>(decoded->reference & 0xFFFFFFFFu);
    checkEra(decoded->receive, near);
    checkEra(decoded->transmit, near);
    if (check.verdict != ntp::ReplyVerdict::Accepted)
        return 0;
    const ntp::Exchange exchange{ntp::UnixNanosecondsFromNtp(decoded->receive, near),
                                 ntp::UnixNanosecondsFromNtp(decoded->transmit, near), near, elapsed};
    // T3 - T2 in units of 2^-32 s, across an era's end as well.
    const auto hold = static_cast<std::int64_t>(decoded->transmit - decoded->receive);
    if (decoded->receive == 0 || decoded->transmit == 0 || hold < 0 || hold > (std::int64_t{4} << 32))
        failed("an accepted reply with a zero time or a server hold out of bounds");
    const std::int64_t serverSeconds = exchange.serverTransmitNs / kNanosecondsPerSecond;
    if (check::RefusalOfServerTime(serverSeconds, serverSeconds).has_value() ||
        !check::RefusalOfServerTime(serverSeconds, serverSeconds + 1).has_value())
        failed("the build-date floor is not exactly the build's second");
    const ntp::Sample sample = ntp::MeasureExchange(exchange);
    const ntp::SampleVerdict sampleVerdict = ntp::CheckSample(sample);
    if ((sample.delayNs < 0) != (sampleVerdict == ntp::SampleVerdict::NegativeDelay) ||
        ntp::SampleCheckText(sampleVerdict, sample).empty())
        failed("a negative delay passed, or a sound one was refused");
    if (sampleVerdict != ntp::SampleVerdict::Accepted)
        return 0;
    const ntp::Sample samples[] = {sample, {0, sample.delayNs + 1}};
    if (ntp::BestSample(samples)->delayNs != sample.delayNs)
        failed("the filter did not keep the smallest delay");
    const ntp::NtpCorrection correction = ntp::CorrectionOf(sample);
    if (correction.caption.empty() || (correction.shiftNanoseconds != 0) == sample.offsetIsNoise())
        failed("a correction that contradicts its sample");
    return 0;
}
