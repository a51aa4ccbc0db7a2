#include "check/answer.h"

#include "net/ntp_packet.h"
#include "net/timestamp.h"

namespace check {
namespace {
constexpr std::int64_t kNanosecondsPerSecond = 1'000'000'000;
constexpr std::int64_t kSecondsPerDay = 86400;
// The Time protocol's whole seconds: the server's second began up to one before.
constexpr std::int64_t kWholeSecondBoundNs = kNanosecondsPerSecond;

std::int64_t floorDivide(std::int64_t value, std::int64_t divisor)
{
    const std::int64_t quotient = value / divisor;
    return value % divisor < 0 ? quotient - 1 : quotient;
}

int secondsOfDay(std::int64_t localNs)
{
    const std::int64_t seconds = floorDivide(localNs, kNanosecondsPerSecond);
    return static_cast<int>(seconds - floorDivide(seconds, kSecondsPerDay) * kSecondsPerDay);
}

Answer timeProtocolAnswer(const CheckResult& result, const LocalReading& local, std::int64_t zoneNs)
{
    Answer answer;
    answer.serverLocalNs = result.serverUnixSeconds * kNanosecondsPerSecond + zoneNs;
    answer.localNowNs = local.utcNowNs + zoneNs;
    answer.serverSecondsOfDay = secondsOfDay(answer.serverLocalNs);
    const Correction correction = CorrectionBetween(answer.serverSecondsOfDay, secondsOfDay(answer.localNowNs));
    answer.offsetNs = std::int64_t{correction.shift()} * kNanosecondsPerSecond;
    answer.errorBoundNs = kWholeSecondBoundNs;
    answer.caption = correction.caption;
    answer.trayTip = correction.trayTip;
    // Set whenever allowed, also when the seconds match: the record rewrites the second.
    answer.step = platform::ClockStep{answer.offsetNs, true};
    return answer;
}

Answer ntpAnswer(const NtpReading& reading, const LocalReading& local, std::int64_t zoneNs)
{
    Answer answer;
    // The offset is measured against the clock as it reads now.
    answer.localNowNs = local.utcNowNs + zoneNs;
    answer.serverLocalNs = answer.localNowNs + reading.offsetNs;
    answer.serverSecondsOfDay = secondsOfDay(answer.serverLocalNs);
    answer.offsetNs = reading.offsetNs;
    answer.errorBoundNs = reading.delayNs / 2 + reading.rootDistanceNs;
    const ntp::NtpCorrection correction = ntp::CorrectionOf({reading.offsetNs, reading.delayNs});
    answer.caption = correction.caption;
    answer.trayTip = correction.trayTip;
    // Within half the round trip the true offset may be nothing: the clock is left alone.
    if (correction.shiftNanoseconds != 0)
        answer.step = platform::ClockStep{correction.shiftNanoseconds, false};
    return answer;
}
} // namespace

Answer AnswerOf(const CheckResult& result, const LocalReading& local)
{
    const std::int64_t zoneNs = std::int64_t{local.utcOffsetSeconds} * kNanosecondsPerSecond;
    return result.ntp ? ntpAnswer(*result.ntp, local, zoneNs) : timeProtocolAnswer(result, local, zoneNs);
}

} // namespace check
