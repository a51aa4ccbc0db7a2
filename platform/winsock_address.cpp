// Byte order and dotted-address text; these work without WSAStartup.
#include "platform/winsock.h"

#include <arpa/inet.h>
#include <cctype>
#include <cstdio>

namespace platform::ws {
namespace {

// One part of a dotted address in C notation: 0x1F hex, 017 octal, else decimal.
// Stops at the first character that is not a digit of the base; false when
// there is no digit or the value exceeds 32 bits.
bool parseAddressPart(const char*& text, std::uint32_t& value)
{
    unsigned int base = 10;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text += 2;
    } else if (text[0] == '0') {
        base = 8;
    }
    std::uint64_t accumulated = 0;
    bool anyDigit = base == 8;   // the lone "0" is a digit already
    for (;; ++text) {
        const unsigned char c = static_cast<unsigned char>(*text);
        unsigned int digit = 0;
        if (std::isdigit(c))
            digit = c - '0';
        else if (base == 16 && std::isxdigit(c))
            digit = static_cast<unsigned int>(std::tolower(c) - 'a' + 10);
        else
            break;
        if (digit >= base)
            return false;
        accumulated = accumulated * base + digit;
        if (accumulated > 0xFFFFFFFFu)
            return false;
        anyDigit = true;
    }
    value = static_cast<std::uint32_t>(accumulated);
    return anyDigit;
}

} // namespace

// Parenthesised names: glibc may define the POSIX ones as macros.
std::uint16_t (htons)(std::uint16_t value) { return ::htons(value); }
std::uint16_t (ntohs)(std::uint16_t value) { return ::ntohs(value); }
std::uint32_t (htonl)(std::uint32_t value) { return ::htonl(value); }
std::uint32_t (ntohl)(std::uint32_t value) { return ::ntohl(value); }

// a.b.c.d, a.b.c (c 16 bits), a.b (b 24 bits) and a (32 bits), as inet_aton;
// trailing blanks are allowed, anything else makes the text "not dotted".
std::uint32_t inet_addr(const char* text)
{
    if (text == nullptr)
        return INADDR_NONE_;
    std::uint32_t parts[4] = {};
    int count = 0;
    const char* cursor = text;
    for (;;) {
        if (count == 4 || !parseAddressPart(cursor, parts[count]))
            return INADDR_NONE_;
        ++count;
        if (*cursor != '.')
            break;
        ++cursor;
    }
    while (*cursor == ' ' || *cursor == '\t')
        ++cursor;
    if (*cursor != '\0')
        return INADDR_NONE_;

    // Each leading part is one byte; the last fills the remaining bytes.
    constexpr std::uint32_t kLastPartLimit[] = {0xFFFFFFFFu, 0xFFFFFFu, 0xFFFFu, 0xFFu};
    std::uint32_t host = 0;
    for (int i = 0; i < count - 1; ++i) {
        if (parts[i] > 0xFF)
            return INADDR_NONE_;
        host |= parts[i] << (24 - 8 * i);
    }
    if (parts[count - 1] > kLastPartLimit[count - 1])
        return INADDR_NONE_;
    host |= parts[count - 1];
    return ::htonl(host);
}

const char* inet_ntoa(std::uint32_t address)
{
    thread_local char text[16];
    const std::uint32_t host = ::ntohl(address);
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", (host >> 24) & 0xFFu, (host >> 16) & 0xFFu,
                  (host >> 8) & 0xFFu, host & 0xFFu);
    return text;
}

} // namespace platform::ws
