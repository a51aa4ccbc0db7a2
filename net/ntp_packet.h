#pragma once
// NTP packets and the arithmetic of one exchange. Pure: bytes in, fields out;
// no clock, no socket. The caller reads its clocks and owns the socket:
//
//   1. bits = 64 random bits; T1 = real-time clock, m1 = monotonic clock;
//      send EncodeRequest(bits).
//   2. For each datagram from the server's address and port:
//        ReplyCheck check = CheckReply(bytes, size, bits);
//        Ignored -> keep waiting; Refused -> fail with ReplyCheckText(check)
//        (and, when ForbidsRetry(check.verdict), ask this server no more;
//        when HoldsServerBack(check.verdict), not for a while either).
//   3. On Accepted: T4 = real-time clock, m4 = monotonic clock;
//        Exchange e{UnixNanosecondsFromNtp(check.reply.receive, T4),
//                   UnixNanosecondsFromNtp(check.reply.transmit, T4), T4, m4 - m1};
//        Sample s = MeasureExchange(e);
//        CheckSample(s) refused -> fail with SampleCheckText(verdict, s).
//   4. Keep BestSample of several; show CorrectionOf(best).

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace ntp {

// A request and a reply without extension fields.
constexpr std::size_t kPacketSize = 48;
// Servers listen here.
constexpr std::uint16_t kNtpPort = 123;

// Seconds from 1900-01-01 (NTP's era 0) to 1970-01-01.
constexpr std::int64_t kNtpSecondsTo1970 = 2208988800;

using PacketBytes = std::array<std::uint8_t, kPacketSize>;

// A 64-bit NTP timestamp: seconds since the era's start in the high 32 bits,
// the fraction of a second (units of 2^-32 s) in the low 32.
using NtpTimestamp = std::uint64_t;

// A client request: leap 0, version 4, mode 3, every field zero but the
// transmit timestamp, which carries the caller's random bits. The server
// echoes them as its origin, which proves a reply answers this request
// without telling the network the true send time.
PacketBytes EncodeRequest(std::uint64_t transmitBits);

// The address family the reply came over: it decides what a reference id means.
enum class IpFamily { V4, V6 };

struct Reply {
    int leap = 0;        // 0 none, 1 last minute has 61 s, 2 has 59 s, 3 not synchronised
    int version = 0;
    int mode = 0;        // 4 = server
    int stratum = 0;     // 0 kiss-o'-death, 1 primary, 2..15 secondary, 16 not synchronised
    int poll = 0;        // log2 seconds
    int precision = 0;   // log2 seconds, usually negative
    double rootDelaySeconds = 0;        // round trip to the primary reference
    double rootDispersionSeconds = 0;   // error bound to the primary reference
    std::array<std::uint8_t, 4> referenceId{};
    NtpTimestamp reference = 0;
    NtpTimestamp origin = 0;     // our request's transmit bits, echoed
    NtpTimestamp receive = 0;    // T2
    NtpTimestamp transmit = 0;   // T3

    // Stratum 0 and 1: four ASCII letters, trailing NULs dropped ("GPS",
    // "RATE"); bytes that are not printable ASCII show as '?'. Stratum 2 and
    // above: over IPv4 the upstream server's address, dotted ("192.0.2.1");
    // over IPv6 the first four bytes of a hash of the upstream's address,
    // which names no address, as eight hex digits ("1A2B3C4D").
    std::string referenceIdText(IpFamily arrivedOver = IpFamily::V4) const;
};

// Every field of a packet; nothing when it is shorter than 48 bytes. Bytes
// past the 48th (extension fields, a MAC) are not read.
std::optional<Reply> DecodeReply(std::span<const std::uint8_t> bytes);

// The tests a reply passes, in the order CheckReply makes them.
enum class ReplyVerdict {
    Accepted,
    TooShort,              // under 48 bytes: ignored, as anyone can send one
    IgnoredWrongOrigin,    // origin is not our transmit bits, or is 0 (forged or stale): keep waiting
    NotServerMode,         // mode is not 4
    UnsupportedVersion,    // version is not 3 or 4
    KissRate,              // stratum 0, "RATE": asked to slow down
    KissDenied,            // stratum 0, "DENY" or "RSTR": refused access
    KissOther,             // stratum 0 with any other code
    NotSynchronised,       // leap indicator 3 or stratum 16 and above
    ZeroReceive,           // receive timestamp (T2) 0
    ZeroTransmit,          // transmit timestamp (T3) 0
    ServerTimeReversed,    // T3 before T2: the server's own interval is negative
    ServerHeldTooLong,     // T3 - T2 over kMaxServerHoldSeconds
    TooFarFromReference,   // root delay / 2 + root dispersion over kMaxRootDistanceSeconds
};

enum class VerdictKind { Accept, Ignore, Refuse };

struct ReplyCheck {
    ReplyVerdict verdict = ReplyVerdict::TooShort;
    Reply reply;   // the decoded fields, when the packet was long enough
};

// The root distance beyond which a server is too far from its reference.
constexpr double kMaxRootDistanceSeconds = 1.5;
// The longest a sound server keeps a request before answering (T3 - T2); a
// longer or negative interval makes the measured delay meaningless.
constexpr double kMaxServerHoldSeconds = 4.0;

// Checks a datagram (already known to come from the server's address and
// port) against the request whose transmit bits were `requestTransmitBits`.
// The origin is checked before anything else the packet says, so a forged
// packet can neither end the wait nor make the server look refused; a short
// datagram cannot be checked at all and is ignored for the same reason.
ReplyCheck CheckReply(std::span<const std::uint8_t> bytes, std::uint64_t requestTransmitBits);

VerdictKind KindOf(ReplyVerdict verdict);
// Kiss-o'-death: the caller must not ask this server again in this check.
bool ForbidsRetry(ReplyVerdict verdict);
// DENY or RSTR: the server is not to be asked again for a while, by any
// check; the code to remember is check.reply.referenceIdText().
bool HoldsServerBack(ReplyVerdict verdict);
// One plain English line for the check's log, e.g.
// "the server sent kiss-o'-death RATE: it asks us to slow down".
std::string ReplyCheckText(const ReplyCheck& check);

// The era rule: a timestamp names a moment in every 2^32-second
// era; this takes the one nearest `nearUnixNanoseconds` (the local clock), so
// the wrap of 2036-02-07 06:28:16 UTC is no cliff. Valid for moments within
// 68 years of the local clock, and between 1678 and 2262 (int64 nanoseconds).
std::int64_t UnixNanosecondsFromNtp(NtpTimestamp stamp, std::int64_t nearUnixNanoseconds);
// The timestamp of a moment: seconds modulo 2^32, the fraction rounded to the
// nearest 2^-32 s. Round-trips with the above to the nanosecond.
NtpTimestamp NtpFromUnixNanoseconds(std::int64_t unixNanoseconds);

// One exchange, in nanoseconds since 1970. T1 is not given: it is taken as
// T4 - elapsed, so the offset is measured against the clock as it reads at
// T4, the clock a correction would be applied to, even when it was stepped
// between the request and the reply.
struct Exchange {
    std::int64_t serverReceiveNs = 0;    // T2
    std::int64_t serverTransmitNs = 0;   // T3
    std::int64_t localReceiveNs = 0;     // T4, the real-time clock when the reply arrived
    std::int64_t elapsedNs = 0;          // T4 - T1 on the monotonic clock, never negative
};

struct Sample {
    std::int64_t offsetNs = 0;   // theta: server minus PC; positive when the PC is behind
    std::int64_t delayNs = 0;    // delta: round trip less the server's own time; negative only when
                                 // the server claims more time than the round trip (CheckSample refuses it)

    // |theta| <= delta / 2: the true offset may be zero.
    bool offsetIsNoise() const;
};

// theta = ((T2 - T1) + (T3 - T4)) / 2, delta = (T4 - T1) - (T3 - T2), as
// they come out: a negative delay is kept, for CheckSample to see.
Sample MeasureExchange(const Exchange& exchange);

enum class SampleVerdict {
    Accepted,
    NegativeDelay,   // the server claims more time than the whole round trip took
};

SampleVerdict CheckSample(const Sample& sample);
// One plain English line for the check's log, e.g. "the measured delay is
// negative (-99.990 s): the server's times do not fit the round trip".
std::string SampleCheckText(SampleVerdict verdict, const Sample& sample);

// The clock filter's rule: the sample with the smallest delay (the first of
// equals); nothing when there are none. Give it checked samples only.
std::optional<Sample> BestSample(std::span<const Sample> samples);

// What the window and the terminal show, with the sign and spacing of the
// RFC 868 check's caption and milliseconds instead of whole seconds.
struct NtpCorrection {
    std::string signText;   // "+ " when the PC is behind or equal, "- " when ahead
    std::string caption;    // "+ 0.012 s", "- 1.250 s" or "Clocks Match!"
    std::string trayTip;    // "Clock adjusted + 0.012 s" or "Clock is synchronized!"
    // The step to apply to the PC's clock; 0 when the offset is noise.
    std::int64_t shiftNanoseconds = 0;
};

NtpCorrection CorrectionOf(const Sample& sample);

} // namespace ntp
