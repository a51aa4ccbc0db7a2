#include "check/rfc868_protocol.h"

#include "net/socket_types.h"

#include <algorithm>

namespace check {
namespace {
constexpr int kAnswerSize = 4;
constexpr int kDatagramRoom = 512;   // room for an oversized answer, which is refused
constexpr std::int64_t kNanosecondsPerSecond = 1000000000;
} // namespace

std::optional<std::string> Rfc868Protocol::request()
{
    if (kind_ == SocketKind::Datagram)
        return std::string();   // the empty datagram is the question
    return std::nullopt;        // a TCP server speaks first
}

Reading Rfc868Protocol::consume(TSocketBase& socket)
{
    if (kind_ == SocketKind::Datagram) {
        // One datagram is the whole answer; a short one cannot be completed.
        char datagram[kDatagramRoom];
        const int count = socket.Read(datagram, sizeof datagram);
        if (count == 0 && socket.LastError == ws::WSAEWOULDBLOCK)
            return Reading::needMore();
        if (count != kAnswerSize)
            return Reading::failed(brokenAnswerLine());
        std::copy(datagram, datagram + kAnswerSize, bytes_.begin());
        received_ = kAnswerSize;
        return complete();
    }
    const int count = socket.Read(reinterpret_cast<char*>(bytes_.data()) + received_, kAnswerSize - received_);
    received_ += count;
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
