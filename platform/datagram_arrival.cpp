#include "platform/datagram_arrival.h"

#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <vector>

namespace platform {

bool StampArrivals(int socket)
{
    const int on = 1;
    return ::setsockopt(socket, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on) == 0;
}

ArrivedDatagram ReceiveDatagram(int socket, std::size_t room)
{
    ArrivedDatagram datagram;
    std::vector<char> buffer(room);
    iovec part{buffer.data(), buffer.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t got;
    do {
        got = ::recvmsg(socket, &message, MSG_DONTWAIT);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        datagram.error = errno;
        return datagram;
    }
    datagram.bytes.assign(buffer.data(), static_cast<std::size_t>(got));
    for (cmsghdr* header = CMSG_FIRSTHDR(&message); header; header = CMSG_NXTHDR(&message, header)) {
        if (header->cmsg_level != SOL_SOCKET || header->cmsg_type != SCM_TIMESTAMPNS)
            continue;
        timespec arrival{};
        std::memcpy(&arrival, CMSG_DATA(header), sizeof arrival);
        datagram.arrivalRealtimeNs = std::int64_t{arrival.tv_sec} * 1'000'000'000 + arrival.tv_nsec;
    }
    return datagram;
}

} // namespace platform
