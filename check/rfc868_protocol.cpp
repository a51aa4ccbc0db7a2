#include "check/rfc868_protocol.h"

#include <algorithm>

namespace check {
namespace {
constexpr std::size_t kAnswerSize = 4;
constexpr std::int64_t kNanosecondsPerSecond = 1000000000;
} // namespace

std::optional<std::string> Rfc868Protocol::request()
{
    if (kind_ == SocketKind::Datagram)
        return std::string();   // the empty datagram is the question
    return std::nullopt;        // a TCP server speaks first
}

Reading Rfc868Protocol::consume(const Received& received)
{
    if (kind_ == SocketKind::Datagram) {
        // One datagram is the whole answer; a short one cannot be completed.
        if (received.bytes.size() != kAnswerSize)
            return Reading::failed(brokenAnswerLine());
        std::copy(received.bytes.begin(), received.bytes.end(), bytes_.begin());
        received_ = kAnswerSize;
        return complete();
    }
    // The bytes may come in pieces; those past the fourth are never read.
    const std::size_t wanted = std::min<std::size_t>(kAnswerSize - received_, received.bytes.size());
    std::copy_n(received.bytes.begin(), wanted, bytes_.begin() + received_);
    received_ += wanted;
    return received_ == kAnswerSize ? complete() : Reading::needMore();
}

Reading Rfc868Protocol::complete() const
{
    CheckResult result;
    result.serverUnixSeconds = UnixSecondsFromTimestamp(bytes_);
    result.serverUnixNanoseconds = result.serverUnixSeconds * kNanosecondsPerSecond;
    return Reading::done(result);
}

} // namespace check
