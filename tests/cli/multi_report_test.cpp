// What tikora-cli check prints for several sources, as text and as JSON.
#include "cli/multi_report.h"

#include <gtest/gtest.h>

namespace {

constexpr std::int64_t kUs = 1'000;

check::SourceEnd answered(int number, const std::string& server, const std::string& address, std::int64_t offsetUs,
                          std::int64_t delayUs)
{
    check::SourceEnd source;
    source.number = number;
    source.server = server;
    source.address = address;
    check::CheckResult result;
    result.serverUnixNanoseconds = 1'780'000'000'000'000'000 + offsetUs * kUs;
    result.serverUnixSeconds = 1'780'000'000;
    result.ntp = check::NtpReading{offsetUs * kUs, delayUs * kUs, 2, "GPS", 0, 1, 0};
    source.result = result;
    source.answer = check::AnswerOf(result, {1'780'000'000'000'000'000, 0});
    return source;
}

check::MultiSourceResult fourSources(std::int64_t liarUs)
{
    check::MultiSourceResult result;
    result.sources = {answered(1, "pool.example", "192.0.2.1", 100, 400),
                      answered(2, "pool.example", "192.0.2.2", -50, 200),
                      answered(3, "198.51.100.7", "198.51.100.7", liarUs, 100)};
    check::SourceEnd failed;
    failed.number = 4;
    failed.server = failed.address = "203.0.113.9";
    failed.failure.reason = "Connection timed out...";
    result.sources.push_back(failed);
    std::vector<std::optional<check::SourceInterval>> intervals;
    for (const check::SourceEnd& source : result.sources)
        intervals.push_back(source.result ? std::optional(check::SourceInterval{source.answer.offsetNs,
                                                                                source.answer.errorBoundNs})
                                          : std::nullopt);
    result.selection = check::SelectSources(intervals);
    if (result.selection.majority) {
        result.combined = result.selected()->answer;
        result.combined->errorBoundNs = result.selection.errorBoundNs;
    }
    return result;
}

TEST(MultiReport, EachSourcesLineAndVerdictAndTheMajoritysResult)
{
    const check::MultiSourceResult result = fourSources(2'000'000);
    std::vector<std::string> ends;
    for (const check::SourceEnd& source : result.sources)
        ends.push_back(std::to_string(source.number) + check::SourceEndLine(source));
    EXPECT_EQ(ends, (std::vector<std::string>{
                        "1>192.0.2.1 (pool.example): offset +0.000100 s, delay 0.000400 s, stratum 2",
                        "2>192.0.2.2 (pool.example): offset -0.000050 s, delay 0.000200 s, stratum 2",
                        "3>198.51.100.7: offset +2.000000 s, delay 0.000100 s, stratum 2",
                        "4>203.0.113.9: Connection timed out...",
                    }));
    const std::vector<std::string> lines = cli::MultiResultLines(result, true, {});
    ASSERT_EQ(lines.size(), 4u + 1 + 8 + 1);
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 5),
              (std::vector<std::string>{"1 192.0.2.1 (pool.example): truechimer",
                                        "2 192.0.2.2 (pool.example): selected", "3 198.51.100.7: falseticker",
                                        "4 203.0.113.9: failed", "Agreeing:    2 of 3 that answered"}));
    EXPECT_EQ(lines[6], "Offset:      -0.000050 s");
    // -50 ± 100 µs within 100 ± 200 µs: [-100, 50], so 100 µs either way.
    EXPECT_EQ(lines.back(), "Error bound: 0.000100 s");

    const std::string json = cli::MultiResultJson(result, true, false);
    EXPECT_EQ(json.substr(0, 45), "{\"protocol\":\"ntp\",\"server\":\"192.0.2.2\",\"serve");
    EXPECT_NE(json.find(",\"correction\":\"Clocks Match!\",\"error_bound\":0.000100000,\"agreeing\":2,\"sources\":["
                        "{\"server\":\"pool.example\",\"address\":\"192.0.2.1\",\"offset\":0.000100000,"
                        "\"delay\":0.000400000,\"stratum\":2,\"verdict\":\"truechimer\"},"),
              std::string::npos)
        << json;
    EXPECT_NE(json.find("{\"server\":\"203.0.113.9\",\"address\":\"203.0.113.9\",\"verdict\":\"failed\","
                        "\"error\":\"Connection timed out...\"}]}"),
              std::string::npos)
        << json;
}

} // namespace
