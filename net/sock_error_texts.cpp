#include "net/sock_error_texts.h"

#include <algorithm>
#include <array>

namespace {

// Sorted by id. The texts are the program's own, misspellings included: other
// tools and users may match on them.
constexpr std::array<StringTableEntry, 76> kStringTable{{
    {15004, "Interrupted system call"},
    {15009, "Bad file number"},
    {15013, "Permission denied"},
    {15014, "Bad address"},
    {15022, "Invalid argument"},
    {15024, "Too many open files"},
    {15035, "Operation would block"},
    {15036, "Operation now in progress"},
    {15037, "Operation, already in progress"},
    {15038, "Socket operation on non-socket"},
    {15039, "Destination address required"},
    {15040, "Message too long"},
    {15041, "Protocol wrong type for socket"},
    {15042, "Bad protocol option"},
    {15043, "Protocol not supported"},
    {15044, "Socket type not supported"},
    {15045, "Operation not supported on socket"},
    {15046, "Protocol family not supported"},
    {15047, "Address family not supported by protocol family"},
    {15048, "Address already in use"},
    {15049, "Can't assign requested address"},
    {15050, "Network is down"},
    {15051, "Network is unreachable"},
    {15052, "Net dropped connection or reset"},
    {15053, "Software caused connection abort"},
    {15054, "Connection reset by peer"},
    {15055, "No buffer space available"},
    {15056, "Socket is already connected"},
    {15057, "Socket is not connected"},
    {15058, "Can't send after socket shutdown"},
    {15059, "Too many references, can't splice"},
    {15060, "Connection timed out"},
    {15061, "Connection refused"},
    {15062, "Too many levels of symbolic links"},
    {15063, "File name too long"},
    {15064, "Host is down"},
    {15065, "No Route to Host"},
    {15066, "Directory not empty"},
    {15067, "Too many processes"},
    {15068, "Too many users"},
    {15069, "Disc Quota Exceeded"},
    {15070, "Stale NFS file handle"},
    {15071, "Too many levels of remote in path"},
    {15091, "Network SubSystem is unavailable"},
    {15092, "WINSOCK DLL Version out of range"},
    {15093, "Successful WSASTARTUP not yet performed"},
    {15101, "Socket Disconnected"},
    {16001, "Host not found"},
    {16002, "Non-Authoritative Host not found"},
    {16003, "Non-Recoverable errors: FORMERR, REFUSED, NOTIMP"},
    {16004, "Valid name, no data record of requested type"},
    {25001, "Error %d (%s) finding address for host"},
    {25002, "Error %d (%s) calling WSAAsyncGetHostByAddr"},
    {25003, "Error %d (%s) calling WSAAsyncGetHostByName"},
    {25004, "Error %d (%s) calling WSAAsyncGetServByName"},
    {25005, "Error %d (%s) calling WSAAsyncGetServByPort"},
    {25006, "Error %d (%s) finding host for address"},
    {25007, "Error %d (%s) Binding Socket"},
    {25008, "Error %d (%s) connecting"},
    {25009, "Error %d (%s) creating new socket"},
    {25010, "Error %d (%s) calling getpeername"},
    {25011, "Error %d (%s) calling getsockname"},
    {25012, "Error %d (%s) getting # of bytes in Receive Buffer"},
    {25013, "Error %d (%s) listining"},
    {25014, "Error %d (%s) recieving"},
    {25015, "Error %d (%s) sending"},
    {25016, "Error %d (%s) starting up WinSock"},
    {25017, "No address specified"},
    {25018, "Socket not open"},
    {25019, "Can't do reverse lookup on address 0.0.0.0"},
    {25020, "Socket Already opened"},
    {25021, "Datagram exceeds Winsock's max UDP packet size"},
    {25022, "Winsock DLL Already Loaded, Cannot change name"},
    {25023, "Invalid type for a Stream socket"},
    {25024, "Invalid type for a Datagram socket"},
    {25025, "Error %d (%s) peeking"},
}};

static_assert(std::is_sorted(kStringTable.begin(), kStringTable.end(),
                             [](const StringTableEntry& a, const StringTableEntry& b) { return a.id < b.id; }));

} // namespace

std::string_view SocketStringTable(int id)
{
    auto found = std::lower_bound(kStringTable.begin(), kStringTable.end(), id,
                                  [](const StringTableEntry& entry, int wanted) { return entry.id < wanted; });
    if (found == kStringTable.end() || found->id != id)
        return {};
    return found->text;
}
