// What tikora-cli check prints for an NTP result, and its JSON text.
#include "check/answer.h"
#include "check/ntp_protocol.h"
#include "cli/check_report.h"

#include <gtest/gtest.h>

namespace {

TEST(CheckReport, SecondsAndJsonStringsAreWrittenExactly)
{
    struct SecondsCase {
        std::int64_t nanoseconds;
        bool withSign;
        const char* text;
    };
    const SecondsCase seconds[] = {
        {2'345'678'499, true, "+2.345678"},  {2'345'678'500, true, "+2.345679"}, {-1'250'000'000, true, "-1.250000"},
        {-499, true, "+0.000000"},           {123'456, false, "0.000123"},       {-1'000'000, false, "-0.001000"},
        {INT64_MIN, true, "-9223372036.854776"},
    };
    for (const SecondsCase& c : seconds)
        EXPECT_EQ(check::SecondsText(c.nanoseconds, c.withSign), c.text) << c.nanoseconds;

    EXPECT_EQ(cli::JsonString("a\"b\\c\n\x01"), "\"a\\\"b\\\\c\\u000a\\u0001\"");
    EXPECT_EQ(cli::UtcText(-1, true), "1969-12-31T23:59:59.999Z");
}

TEST(CheckReport, AnNtpResultAsLinesAndAsJson)
{
    check::CheckResult result;
    result.serverUnixNanoseconds = 1'780'000'000'123'999'999;   // 2026-05-28 20:26:40.123 UTC
    result.serverUnixSeconds = 1'780'000'000;
    result.subSecond = true;
    result.ntp = check::NtpReading{-12'345'678, 2'000'000, 1, "GPS", 1, 3};
    const auto correction = [&] { return check::AnswerOf(result, {}).caption; };
    EXPECT_EQ(cli::NtpResultLines(result, correction()), (std::vector<std::string>{
                                               "Server time: 2026-05-28 20:26:40.123 UTC",
                                               "Offset:      -0.012346 s",
                                               "Delay:       0.002000 s",
                                               "Stratum:     1",
                                               "Reference:   GPS",
                                               "Leap:        1 (the last minute of the day has 61 seconds)",
                                               "Samples:     3",
                                               "Correction:  - 0.012 s",
                                           }));
    EXPECT_EQ(cli::NtpResultJson(result, "192.0.2.1", correction()),
              "{\"protocol\":\"ntp\",\"server\":\"192.0.2.1\",\"server_time\":\"2026-05-28T20:26:40.123Z\","
              "\"offset\":-0.012345678,\"delay\":0.002000000,\"stratum\":1,\"refid\":\"GPS\",\"leap\":1,"
              "\"samples\":3,\"correction\":\"- 0.012 s\"}");
    // Within half the delay the offset may be zero.
    result.ntp->offsetNs = -1'000'000;
    EXPECT_EQ(cli::NtpResultLines(result, correction()).back(), "Correction:  Clocks Match!");
}

} // namespace
