// libFuzzer target for key exchange answers: any bytes parse without a crash
// or a sanitizer report; a failure always has a line; a complete answer has
// NTPv4, AES-SIV and a cookie; a complete answer stays complete and whole
// when parsed again from its own records, and every prefix of it is Incomplete.
#include "net/nts_ke_records.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

[[noreturn]] void failed(const char* what)
{
    std::fprintf(stderr, "property broken: %s\n", what);
    std::abort();
}

nts::KeParse parse(const std::string& bytes)
{
    return nts::ParseKeResponse({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const nts::KeParse parsed = parse(bytes);
    const bool ends = parsed.status == nts::KeStatus::Complete || parsed.status == nts::KeStatus::Incomplete;
    if (ends != nts::KeFailureText(parsed).empty())
        failed("a failure has no line, or a success has one");
    if (parsed.status != nts::KeStatus::Complete)
        return 0;
    const nts::KeResponse& response = parsed.response;
    if (response.cookies.empty() || response.nextProtocols.empty() || response.aeadAlgorithms.empty())
        failed("a complete answer lacks what a client needs");
    if (response.ntpPort && *response.ntpPort == 0)
        failed("port 0 passed");
    // Re-encoded from what was read, the answer is complete again.
    std::string again;
    auto list = [](const std::vector<std::uint16_t>& values) {
        std::string body;
        for (const std::uint16_t value : values) {
            body += static_cast<char>(value >> 8);
            body += static_cast<char>(value & 0xFF);
        }
        return body;
    };
    again += nts::EncodeRecord({true, 1, list(response.nextProtocols)});
    again += nts::EncodeRecord({false, 4, list(response.aeadAlgorithms)});
    for (const std::string& cookie : response.cookies)
        again += nts::EncodeRecord({false, 5, cookie});
    if (response.ntpServer)
        again += nts::EncodeRecord({false, 6, *response.ntpServer});
    again += nts::EncodeRecord({true, 0, {}});
    const nts::KeParse reparsed = parse(again);
    if (reparsed.status != nts::KeStatus::Complete || reparsed.response.cookies != response.cookies ||
        reparsed.response.ntpServer != response.ntpServer)
        failed("a complete answer does not survive its own records");
    if (parse(bytes.substr(0, bytes.size() - 1)).status != nts::KeStatus::Incomplete)
        failed("an answer cut before its end is not incomplete");
    return 0;
}
