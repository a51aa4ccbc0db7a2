#include "net/ntp_packet.h"

#include <cstdio>
#include <string_view>

namespace ntp {

namespace {

constexpr std::int64_t kNanosecondsPerSecond = 1'000'000'000;
constexpr int kClientMode = 3;
constexpr int kServerMode = 4;
constexpr int kOurVersion = 4;
constexpr int kLeapNotSynchronised = 3;
constexpr int kStratumNotSynchronised = 16;

// Byte offsets of the header's fields.
constexpr std::size_t kRootDelayAt = 4;
constexpr std::size_t kRootDispersionAt = 8;
constexpr std::size_t kReferenceIdAt = 12;
constexpr std::size_t kReferenceAt = 16;
constexpr std::size_t kOriginAt = 24;
constexpr std::size_t kReceiveAt = 32;
constexpr std::size_t kTransmitAt = 40;

struct VerdictRow {
    ReplyVerdict verdict;
    VerdictKind kind;
    bool forbidsRetry;
    bool holdsServerBack;
    std::string_view text;   // "{}" stands for the detail ReplyCheckText fills in
};

constexpr VerdictRow kVerdicts[] = {
    {ReplyVerdict::Accepted, VerdictKind::Accept, false, false, "the reply is valid"},
    {ReplyVerdict::TooShort, VerdictKind::Ignore, false, false,
     "a datagram shorter than 48 bytes was ignored"},
    {ReplyVerdict::IgnoredWrongOrigin, VerdictKind::Ignore, false, false,
     "a reply that does not answer our request was ignored"},
    {ReplyVerdict::NotServerMode, VerdictKind::Refuse, false, false, "the reply is not a server's (mode {})"},
    {ReplyVerdict::UnsupportedVersion, VerdictKind::Refuse, false, false, "the reply is NTP version {}, not 3 or 4"},
    {ReplyVerdict::KissRate, VerdictKind::Refuse, true, false,
     "the server sent kiss-o'-death RATE: it asks us to slow down"},
    {ReplyVerdict::KissDenied, VerdictKind::Refuse, true, true, "the server sent kiss-o'-death {}: it refuses access"},
    {ReplyVerdict::KissOther, VerdictKind::Refuse, true, false, "the server sent kiss-o'-death {}"},
    {ReplyVerdict::NotSynchronised, VerdictKind::Refuse, false, false, "the server is not synchronised ({})"},
    {ReplyVerdict::ZeroReceive, VerdictKind::Refuse, false, false, "the reply carries no receive time"},
    {ReplyVerdict::ZeroTransmit, VerdictKind::Refuse, false, false, "the reply carries no transmit time"},
    {ReplyVerdict::ServerTimeReversed, VerdictKind::Refuse, false, false,
     "the server says it sent the reply {} s before it received the request"},
    {ReplyVerdict::ServerHeldTooLong, VerdictKind::Refuse, false, false,
     "the server says it held the request {} s, over 4 s"},
    {ReplyVerdict::TooFarFromReference, VerdictKind::Refuse, false, false,
     "the server is too far from its reference (root distance {} s, over 1.5 s)"},
};

const VerdictRow& rowOf(ReplyVerdict verdict)
{
    for (const VerdictRow& row : kVerdicts)
        if (row.verdict == verdict)
            return row;
    return kVerdicts[0];   // unreachable: every verdict has a row
}

std::uint32_t read32(std::span<const std::uint8_t> bytes, std::size_t at)
{
    return (std::uint32_t{bytes[at]} << 24) | (std::uint32_t{bytes[at + 1]} << 16) |
           (std::uint32_t{bytes[at + 2]} << 8) | std::uint32_t{bytes[at + 3]};
}

std::uint64_t read64(std::span<const std::uint8_t> bytes, std::size_t at)
{
    return (std::uint64_t{read32(bytes, at)} << 32) | read32(bytes, at + 4);
}

// 16.16 fixed point, unsigned: a server cannot send a negative delay.
double shortFormatSeconds(std::uint32_t value)
{
    return static_cast<double>(value) / 65536.0;
}

std::int64_t floorDiv(std::int64_t value, std::int64_t divisor)
{
    const std::int64_t quotient = value / divisor;
    return (value % divisor != 0 && (value < 0) != (divisor < 0)) ? quotient - 1 : quotient;
}

// T3 - T2 in seconds. The subtraction wraps, so two stamps on either side of
// an era's end still give their true, small difference.
double serverHoldSeconds(const Reply& reply)
{
    const auto units = static_cast<std::int64_t>(reply.transmit - reply.receive);
    return static_cast<double>(units) / 4294967296.0;
}

std::string secondsText(double seconds)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.3f", seconds);
    return text;
}

std::string kissCode(const Reply& reply)
{
    std::string code;
    for (std::uint8_t byte : reply.referenceId)
        code += (byte >= 0x20 && byte < 0x7F) ? static_cast<char>(byte) : '?';
    return code;
}

std::string detailOf(const ReplyCheck& check)
{
    const Reply& reply = check.reply;
    switch (check.verdict) {
    case ReplyVerdict::NotServerMode:
        return std::to_string(reply.mode);
    case ReplyVerdict::UnsupportedVersion:
        return std::to_string(reply.version);
    case ReplyVerdict::KissDenied:
    case ReplyVerdict::KissOther:
        return reply.referenceIdText().empty() ? "(no code)" : reply.referenceIdText();
    case ReplyVerdict::NotSynchronised:
        return reply.leap == kLeapNotSynchronised ? "leap indicator 3" : "stratum " + std::to_string(reply.stratum);
    case ReplyVerdict::ServerTimeReversed:
        return secondsText(-serverHoldSeconds(reply));
    case ReplyVerdict::ServerHeldTooLong:
        return secondsText(serverHoldSeconds(reply));
    case ReplyVerdict::TooFarFromReference:
        return secondsText(reply.rootDelaySeconds / 2 + reply.rootDispersionSeconds);
    default:
        return {};
    }
}

} // namespace

PacketBytes EncodeRequest(std::uint64_t transmitBits)
{
    PacketBytes packet{};
    packet[0] = static_cast<std::uint8_t>((kOurVersion << 3) | kClientMode);
    for (int i = 0; i < 8; ++i)
        packet[kTransmitAt + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(transmitBits >> (56 - 8 * i));
    return packet;
}

std::string Reply::referenceIdText(IpFamily arrivedOver) const
{
    if (stratum >= 2 && arrivedOver == IpFamily::V6) {
        char text[9];
        std::snprintf(text, sizeof text, "%02X%02X%02X%02X", referenceId[0], referenceId[1], referenceId[2],
                      referenceId[3]);
        return text;
    }
    if (stratum >= 2) {
        return std::to_string(referenceId[0]) + '.' + std::to_string(referenceId[1]) + '.' +
               std::to_string(referenceId[2]) + '.' + std::to_string(referenceId[3]);
    }
    std::string text = kissCode(*this);
    // Codes shorter than four letters are padded with NULs, which read as '?'.
    std::size_t end = referenceId.size();
    while (end > 0 && referenceId[end - 1] == 0)
        --end;
    return text.substr(0, end);
}

std::optional<Reply> DecodeReply(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() < kPacketSize)
        return std::nullopt;
    Reply reply;
    reply.leap = bytes[0] >> 6;
    reply.version = (bytes[0] >> 3) & 7;
    reply.mode = bytes[0] & 7;
    reply.stratum = bytes[1];
    reply.poll = static_cast<std::int8_t>(bytes[2]);
    reply.precision = static_cast<std::int8_t>(bytes[3]);
    reply.rootDelaySeconds = shortFormatSeconds(read32(bytes, kRootDelayAt));
    reply.rootDispersionSeconds = shortFormatSeconds(read32(bytes, kRootDispersionAt));
    for (std::size_t i = 0; i < reply.referenceId.size(); ++i)
        reply.referenceId[i] = bytes[kReferenceIdAt + i];
    reply.reference = read64(bytes, kReferenceAt);
    reply.origin = read64(bytes, kOriginAt);
    reply.receive = read64(bytes, kReceiveAt);
    reply.transmit = read64(bytes, kTransmitAt);
    return reply;
}

ReplyCheck CheckReply(std::span<const std::uint8_t> bytes, std::uint64_t requestTransmitBits)
{
    ReplyCheck check;
    const std::optional<Reply> decoded = DecodeReply(bytes);
    if (!decoded) {
        check.verdict = ReplyVerdict::TooShort;
        return check;
    }
    const Reply& reply = check.reply = *decoded;
    const std::string code = kissCode(reply);
    // A zero origin answers no request of ours, whatever bits we sent.
    if (reply.origin != requestTransmitBits || reply.origin == 0)
        check.verdict = ReplyVerdict::IgnoredWrongOrigin;
    else if (reply.mode != kServerMode)
        check.verdict = ReplyVerdict::NotServerMode;
    else if (reply.version != 3 && reply.version != 4)
        check.verdict = ReplyVerdict::UnsupportedVersion;
    // A kiss usually comes with leap 3 as well; its code is what the user needs.
    else if (reply.stratum == 0)
        check.verdict = code == "RATE"                     ? ReplyVerdict::KissRate
                        : (code == "DENY" || code == "RSTR") ? ReplyVerdict::KissDenied
                                                           : ReplyVerdict::KissOther;
    else if (reply.leap == kLeapNotSynchronised || reply.stratum >= kStratumNotSynchronised)
        check.verdict = ReplyVerdict::NotSynchronised;
    else if (reply.receive == 0)
        check.verdict = ReplyVerdict::ZeroReceive;
    else if (reply.transmit == 0)
        check.verdict = ReplyVerdict::ZeroTransmit;
    else if (serverHoldSeconds(reply) < 0)
        check.verdict = ReplyVerdict::ServerTimeReversed;
    else if (serverHoldSeconds(reply) > kMaxServerHoldSeconds)
        check.verdict = ReplyVerdict::ServerHeldTooLong;
    else if (reply.rootDelaySeconds / 2 + reply.rootDispersionSeconds > kMaxRootDistanceSeconds)
        check.verdict = ReplyVerdict::TooFarFromReference;
    else
        check.verdict = ReplyVerdict::Accepted;
    return check;
}

VerdictKind KindOf(ReplyVerdict verdict)
{
    return rowOf(verdict).kind;
}

bool ForbidsRetry(ReplyVerdict verdict)
{
    return rowOf(verdict).forbidsRetry;
}

bool HoldsServerBack(ReplyVerdict verdict)
{
    return rowOf(verdict).holdsServerBack;
}

std::string ReplyCheckText(const ReplyCheck& check)
{
    std::string text(rowOf(check.verdict).text);
    const std::size_t slot = text.find("{}");
    if (slot != std::string::npos)
        text.replace(slot, 2, detailOf(check));
    return text;
}

std::int64_t UnixNanosecondsFromNtp(NtpTimestamp stamp, std::int64_t nearUnixNanoseconds)
{
    // NTP seconds of the local clock counted from era 0 without wrapping; the
    // stamp's seconds lie within half an era (68 years) of them.
    const std::int64_t nearSeconds = floorDiv(nearUnixNanoseconds, kNanosecondsPerSecond) + kNtpSecondsTo1970;
    const auto stampSeconds = static_cast<std::uint32_t>(stamp >> 32);
    const auto difference =
        static_cast<std::int32_t>(stampSeconds - static_cast<std::uint32_t>(static_cast<std::uint64_t>(nearSeconds)));
    const std::int64_t unixSeconds = nearSeconds + difference - kNtpSecondsTo1970;
    const std::uint64_t fraction = stamp & 0xFFFFFFFFu;
    // (2^32 - 1) * 10^9 fits in 64 bits; rounding stays below 10^9.
    const auto nanoseconds = static_cast<std::int64_t>((fraction * kNanosecondsPerSecond + (1u << 31)) >> 32);
    return unixSeconds * kNanosecondsPerSecond + nanoseconds;
}

NtpTimestamp NtpFromUnixNanoseconds(std::int64_t unixNanoseconds)
{
    const std::int64_t unixSeconds = floorDiv(unixNanoseconds, kNanosecondsPerSecond);
    const auto nanoseconds = static_cast<std::uint64_t>(unixNanoseconds - unixSeconds * kNanosecondsPerSecond);
    const auto seconds = static_cast<std::uint32_t>(static_cast<std::uint64_t>(unixSeconds + kNtpSecondsTo1970));
    const std::uint64_t fraction = ((nanoseconds << 32) + kNanosecondsPerSecond / 2) / kNanosecondsPerSecond;
    return (std::uint64_t{seconds} << 32) | fraction;
}

bool Sample::offsetIsNoise() const
{
    const std::int64_t magnitude = offsetNs < 0 ? -offsetNs : offsetNs;
    // |theta| <= delta / 2, without losing delta's odd nanosecond.
    return magnitude * 2 <= delayNs;
}

Sample MeasureExchange(const Exchange& exchange)
{
    const std::int64_t t1 = exchange.localReceiveNs - exchange.elapsedNs;
    const std::int64_t outbound = exchange.serverReceiveNs - t1;                     // T2 - T1
    const std::int64_t inbound = exchange.serverTransmitNs - exchange.localReceiveNs;   // T3 - T4
    Sample sample;
    // Halved separately so two offsets near the era limit cannot overflow the sum.
    sample.offsetNs = outbound / 2 + inbound / 2 + (outbound % 2 + inbound % 2) / 2;
    const std::int64_t serverTime = exchange.serverTransmitNs - exchange.serverReceiveNs;   // T3 - T2
    sample.delayNs = exchange.elapsedNs - serverTime;
    return sample;
}

SampleVerdict CheckSample(const Sample& sample)
{
    return sample.delayNs < 0 ? SampleVerdict::NegativeDelay : SampleVerdict::Accepted;
}

std::string SampleCheckText(SampleVerdict verdict, const Sample& sample)
{
    if (verdict == SampleVerdict::Accepted)
        return "the sample is valid";
    return "the measured delay is negative (" + secondsText(static_cast<double>(sample.delayNs) / kNanosecondsPerSecond) +
           " s): the server's times do not fit the round trip";
}

std::optional<Sample> BestSample(std::span<const Sample> samples)
{
    std::optional<Sample> best;
    for (const Sample& sample : samples)
        if (!best || sample.delayNs < best->delayNs)
            best = sample;
    return best;
}

NtpCorrection CorrectionOf(const Sample& sample)
{
    NtpCorrection correction;
    correction.signText = sample.offsetNs < 0 ? "- " : "+ ";
    if (sample.offsetIsNoise()) {
        correction.caption = "Clocks Match!";
        correction.trayTip = "Clock is synchronized!";
        return correction;
    }
    correction.shiftNanoseconds = sample.offsetNs;
    const std::uint64_t magnitude = sample.offsetNs < 0 ? 0 - static_cast<std::uint64_t>(sample.offsetNs)
                                                        : static_cast<std::uint64_t>(sample.offsetNs);
    const std::uint64_t milliseconds = (magnitude + 500'000) / 1'000'000;
    char text[48];
    std::snprintf(text, sizeof text, "%llu.%03llu s", static_cast<unsigned long long>(milliseconds / 1000),
                  static_cast<unsigned long long>(milliseconds % 1000));
    correction.caption = correction.signText + text;
    correction.trayTip = "Clock adjusted " + correction.caption;
    return correction;
}

} // namespace ntp
