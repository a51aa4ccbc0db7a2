#include "net/nts_ke_records.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string rec(std::uint16_t word, const std::string& body)
{
    return std::string{static_cast<char>(word >> 8), static_cast<char>(word & 0xFF),
                       static_cast<char>(body.size() >> 8), static_cast<char>(body.size() & 0xFF)} +
           body;
}
std::string u16(std::uint16_t value)
{
    return {static_cast<char>(value >> 8), static_cast<char>(value & 0xFF)};
}

const std::string kProtocol = rec(0x8001, u16(0));
const std::string kAead = rec(0x0004, u16(15));
const std::string kCookie = rec(0x0005, "cookie-one");
const std::string kEnd = rec(0x8000, "");

nts::KeParse parse(const std::string& bytes)
{
    return nts::ParseKeResponse({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
}

TEST(NtsKeRecords, ReadsAWholeAnswerWithServerPortWarningsAndUnknownNonCritical)
{
    const std::string answer = kProtocol + kAead + rec(0x0003, u16(9)) + rec(0x0042, "ignored") + kCookie +
                               rec(0x0005, "cookie-two") + rec(0x8006, "ntp.example") + rec(0x8007, u16(1234)) + kEnd;
    const nts::KeParse parsed = parse(answer);
    ASSERT_EQ(parsed.status, nts::KeStatus::Complete);
    EXPECT_EQ(parsed.response.cookies, (std::vector<std::string>{"cookie-one", "cookie-two"}));
    EXPECT_EQ(parsed.response.ntpServer, "ntp.example");
    EXPECT_EQ(parsed.response.ntpPort, 1234);
    EXPECT_EQ(parsed.response.warnings, std::vector<std::uint16_t>{9});
}

TEST(NtsKeRecords, EveryPrefixOfAWholeAnswerIsIncomplete)
{
    const std::string answer = kProtocol + kAead + kCookie + kEnd;
    for (std::size_t length = 0; length < answer.size(); ++length)
        EXPECT_EQ(parse(answer.substr(0, length)).status, nts::KeStatus::Incomplete) << length;
}

struct Refused {
    const char* name;
    std::string bytes;
    nts::KeStatus status;
    std::string text;   // part of the log line
};

TEST(NtsKeRecords, RefusesWhatNoClientCanUse)
{
    const std::vector<Refused> cases = {
        {"unknown critical", kProtocol + rec(0x8042, "x") + kAead + kCookie + kEnd, nts::KeStatus::UnknownCritical,
         "critical record of unknown type 66"},
        {"error record", kProtocol + rec(0x8002, u16(1)) + kEnd, nts::KeStatus::ErrorRecord, "error record Bad Request"},
        {"error record unnamed", rec(0x8002, u16(77)) + kEnd, nts::KeStatus::ErrorRecord, "error 77"},
        {"error of wrong size", rec(0x8002, "x"), nts::KeStatus::Malformed, "type 2"},
        {"odd protocol list", rec(0x8001, "x") + kEnd, nts::KeStatus::Malformed, "type 1"},
        {"no NTPv4", rec(0x8001, u16(5)) + kAead + kCookie + kEnd, nts::KeStatus::NoNtpV4, "NTPv4"},
        {"no protocol record", kAead + kCookie + kEnd, nts::KeStatus::NoNtpV4, "NTPv4"},
        {"other AEAD", kProtocol + rec(4, u16(30)) + kCookie + kEnd, nts::KeStatus::NoAead, "AEAD_AES_SIV_CMAC_256"},
        {"no cookie", kProtocol + kAead + kEnd, nts::KeStatus::NoCookies, "no cookie"},
        {"empty cookie", kProtocol + kAead + rec(5, "") + kEnd, nts::KeStatus::Malformed, "type 5"},
        {"bytes after end", kProtocol + kAead + kCookie + kEnd + "x", nts::KeStatus::DataAfterEnd, "after its end"},
        {"end with body", kProtocol + kAead + kCookie + rec(0x8000, "x"), nts::KeStatus::Malformed, "type 0"},
        {"port zero", kProtocol + rec(0x8007, u16(0)) + kEnd, nts::KeStatus::Malformed, "type 7"},
        {"server with space", rec(0x8006, "a b") + kEnd, nts::KeStatus::Malformed, "type 6"},
        {"server empty", rec(0x8006, "") + kEnd, nts::KeStatus::Malformed, "type 6"},
        {"too long", rec(5, std::string(65535, 'c')) + rec(5, "x"), nts::KeStatus::TooLong, "too long"},
    };
    for (const Refused& c : cases) {
        const nts::KeParse parsed = parse(c.bytes);
        EXPECT_EQ(parsed.status, c.status) << c.name;
        EXPECT_NE(nts::KeFailureText(parsed).find(c.text), std::string::npos)
            << c.name << ": " << nts::KeFailureText(parsed);
    }
}

TEST(NtsKeRecords, EncodeCutsABodyOverTheLengthFieldsReach)
{
    const std::string encoded = nts::EncodeRecord({false, 5, std::string(70000, 'a')});
    EXPECT_EQ(encoded.size(), 4u + 65535u);
    EXPECT_EQ(encoded.substr(0, 4), std::string("\x00\x05\xff\xff", 4));
}

} // namespace
