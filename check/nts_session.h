#pragma once
// What one key exchange leaves for authenticated NTP: the two keys, the
// cookies not yet used, and where to ask. Kept between checks by the window
// so a second check to the same server needs no new exchange.

#include <cstddef>
#include <deque>
#include <map>
#include <optional>
#include <string>

namespace check {

struct NtsSession {
    // A full pocket: the exchange hands out this many, each reply one more.
    static constexpr std::size_t kWantedCookies = 8;

    std::string clientToServerKey;
    std::string serverToClientKey;
    std::deque<std::string> cookies;
    std::string ntpHost;   // where the NTP requests go
    std::string ntpPort;   // as a number

    // Each cookie goes out once: taken means gone.
    std::optional<std::string> takeCookie()
    {
        if (cookies.empty())
            return std::nullopt;
        std::string cookie = std::move(cookies.front());
        cookies.pop_front();
        return cookie;
    }
    void addCookie(std::string cookie)
    {
        if (cookies.size() < kWantedCookies)
            cookies.push_back(std::move(cookie));
    }
    bool usable() const { return !cookies.empty() && !clientToServerKey.empty(); }
};

// Sessions by key exchange server ("host port", and " address" when a name's
// address was asked), for the life of the program.
using NtsSessions = std::map<std::string, NtsSession>;

} // namespace check
