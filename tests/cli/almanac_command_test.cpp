// tikora-cli almanac | moons | meteors with a fake clock and zone.
#include "cli/almanac_command.h"
#include "cli/almanac_report.h"
#include "fakes/fake_local_clock.h"
#include "fakes/fake_timezone.h"
#include "platform/date_format.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

#include <sstream>

namespace cli {
namespace {

using Command = int (*)(const QStringList&, std::ostream&, std::ostream&, const AlmanacEnvironment&);

struct CommandRun {
    int status = -1;
    std::string out, err;
};

class AlmanacCommandTest : public ::testing::Test {
protected:
    fakes::FakeSystemClock clock{46363.5};
    fakes::FakeTimeZone zone = fakes::FakeTimeZone::WithBias(0, platform::TIME_ZONE_ID_UNKNOWN);
    platform::FormatSettings format = platform::UsFormatSettings();

    CommandRun run(Command command, const QStringList& args)
    {
        std::ostringstream out, err;
        CommandRun r;
        r.status = command(args, out, err, AlmanacEnvironment{clock, zone, format});
        r.out = out.str();
        r.err = err.str();
        return r;
    }
};

bool HasLine(const std::string& text, const std::string& caption, const std::string& value)
{
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(caption, 0) == 0 && line.size() >= value.size() && line.ends_with(value)
            && line.substr(caption.size()).find_first_not_of(' ') == line.size() - value.size() - caption.size())
            return true;
    return false;
}

TEST_F(AlmanacCommandTest, GivenUtcMomentShowsThePartsCheckValues)
{
    const CommandRun r = run(&runAlmanacCommand, {QStringLiteral("--utc"), QStringLiteral("2026-12-07T12:00:00")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.err.empty());
    EXPECT_TRUE(HasLine(r.out, "Moon's age:", "28 days + 03:18:43")) << r.out;
    EXPECT_TRUE(HasLine(r.out, "Moon's phase:", "2%")) << r.out;
    EXPECT_TRUE(HasLine(r.out, "Moon's distance:", "401792 km, 63.0 ER")) << r.out;
    EXPECT_TRUE(HasLine(r.out, "Sun's distance:", "147383656 km,  0.985 AU")) << r.out;
    EXPECT_TRUE(HasLine(r.out, "Moon subtends:", "0.4957")) << r.out;
    EXPECT_TRUE(HasLine(r.out, "Sun subtends:", "0.5411")) << r.out;
    EXPECT_TRUE(HasLine(r.out, "Last new moon:", "07:03:15 UTC  11/9/26")) << r.out;
    EXPECT_TRUE(HasLine(r.out, "First quarter:", "11:49:03 UTC  11/17/26")) << r.out;
    EXPECT_TRUE(HasLine(r.out, "Full moon:", "14:54:36 UTC  11/24/26")) << r.out;
    EXPECT_TRUE(HasLine(r.out, "Last quarter:", "06:09:48 UTC  12/1/26")) << r.out;
    EXPECT_TRUE(HasLine(r.out, "Next new moon:", "00:53:07 UTC  12/9/26")) << r.out;
    EXPECT_TRUE(HasLine(r.out, "Ecliptic latitude:", "-5\u00B0")) << r.out;
    EXPECT_TRUE(HasLine(r.out, "Ecliptic longitude:", "237\u00B0")) << r.out;
    EXPECT_EQ(r.out.find("Local time:"), std::string::npos);
    EXPECT_EQ(clock.reads, 0);
}

TEST_F(AlmanacCommandTest, NowInDaylightTimeSubtractsSixtyMinutes)
{
    // Bias 300 with tzState 2: local 12:00 is 16:00 UTC; otherwise 17:00.
    zone = fakes::FakeTimeZone::WithBias(300, platform::TIME_ZONE_ID_DAYLIGHT);
    CommandRun r = run(&runAlmanacCommand, {});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(HasLine(r.out, "UTC:", "2026-12-07T16:00:00")) << r.out;
    EXPECT_TRUE(HasLine(r.out, "Local time:", "12:00:00 PM  12/7/26")) << r.out;
    EXPECT_TRUE(HasLine(r.out, "Time zone:", "Fake Daylight Time")) << r.out;
    EXPECT_TRUE(HasLine(r.out, "Daylight Savings starts:", "2nd Sunday in March")) << r.out;
    EXPECT_TRUE(HasLine(r.out, "Daylight Savings ends:", "1st Sunday in November")) << r.out;

    zone = fakes::FakeTimeZone::WithBias(300, platform::TIME_ZONE_ID_STANDARD);
    r = run(&runAlmanacCommand, {});
    EXPECT_TRUE(HasLine(r.out, "UTC:", "2026-12-07T17:00:00")) << r.out;
}

TEST_F(AlmanacCommandTest, NowInDaylightTimeSubtractsTheZonesOwnDaylightBias)
{
    // Local 12:00: Lord Howe's summer (10:30 + 0:30) and Troll's (0:00 + 2:00).
    struct Case {
        int bias, daylightBias;
        const char* utc;
    };
    for (const Case& c : {Case{-630, -30, "2026-12-07T01:00:00"}, Case{0, -120, "2026-12-07T10:00:00"}}) {
        zone = fakes::FakeTimeZone::WithBias(c.bias, platform::TIME_ZONE_ID_DAYLIGHT);
        zone.info.DaylightBias = c.daylightBias;
        const CommandRun r = run(&runAlmanacCommand, {});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(HasLine(r.out, "UTC:", c.utc)) << r.out;
    }
}

TEST_F(AlmanacCommandTest, NowInUtcMatchesTheGivenMoment)
{
    const CommandRun now = run(&runAlmanacCommand, {});
    const CommandRun given = run(&runAlmanacCommand, {QStringLiteral("--utc=2026-12-07T12:00:00")});
    ASSERT_EQ(now.status, 0);
    EXPECT_TRUE(HasLine(now.out, "Local time:", "12:00:00 PM  12/7/26")) << now.out;
    EXPECT_TRUE(HasLine(now.out, "Daylight Savings starts:", "no daylight savings time!")) << now.out;
    EXPECT_NE(now.out.find(given.out.substr(given.out.find("Sun's distance:"))), std::string::npos);
}

TEST_F(AlmanacCommandTest, JsonCarriesTextsAndNumbers)
{
    const CommandRun r = run(&runAlmanacCommand, {QStringLiteral("--json"), QStringLiteral("--utc"), QStringLiteral("2026-12-07T12:00:00")});
    ASSERT_EQ(r.status, 0) << r.err;
    const QJsonObject root = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object();
    ASSERT_FALSE(root.isEmpty()) << r.out;
    EXPECT_EQ(root[QStringLiteral("texts")][QStringLiteral("lblAge")].toString(), QStringLiteral("28 days + 03:18:43"));
    EXPECT_EQ(root[QStringLiteral("texts")][QStringLiteral("lblEclLong")].toString(), QStringLiteral("237\u00B0"));
    EXPECT_NEAR(root[QStringLiteral("moon")][QStringLiteral("ageDays")].toDouble(), 28.1380, 0.00005);
    EXPECT_NEAR(root[QStringLiteral("moon")][QStringLiteral("phaseAngle")].toDouble(), -162.274, 0.0005);
    EXPECT_NEAR(root[QStringLiteral("sun")][QStringLiteral("distanceAU")].toDouble(), 0.985199, 0.0000005);
    EXPECT_EQ(root[QStringLiteral("utc")][QStringLiteral("value")].toDouble(), 46363.5);
    const QJsonObject lastNew = root[QStringLiteral("phases")][QStringLiteral("lastNewMoon")].toObject();
    EXPECT_NEAR(lastNew[QStringLiteral("value")].toDouble(), 46335.293922, 0.0000005);
    EXPECT_EQ(lastNew[QStringLiteral("iso")].toString(), QStringLiteral("2026-11-09T07:03:14.831"));
}

TEST_F(AlmanacCommandTest, BadMomentsExitWithStatusTwo)
{
    for (const char* bad : {"2026-12-07", "2026-13-01T00:00:00", "2026-02-30T00:00:00", "1582-12-31T00:00:00",
                            "2026-12-07T24:00:00", "2026-12-07 12:00:00", "x"}) {
        const CommandRun r = run(&runAlmanacCommand, {QStringLiteral("--utc"), QString::fromLatin1(bad)});
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_TRUE(r.out.empty()) << bad;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_NE(r.err.find(bad), std::string::npos) << r.err;
    }
    EXPECT_EQ(run(&runAlmanacCommand, {QStringLiteral("--utc")}).status, 2);
    EXPECT_EQ(run(&runAlmanacCommand, {QStringLiteral("--bogus")}).status, 2);
}

TEST_F(AlmanacCommandTest, HelpExplainsTheOptions)
{
    const CommandRun r = run(&runAlmanacCommand, {QStringLiteral("--help")});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("--utc"), std::string::npos);
    EXPECT_NE(r.out.find("--json"), std::string::npos);
    EXPECT_NE(run(&runMoonsCommand, {QStringLiteral("--help")}).out.find("--year"), std::string::npos);
    EXPECT_NE(run(&runMeteorsCommand, {QStringLiteral("-h")}).out.find("--year"), std::string::npos);
}

TEST_F(AlmanacCommandTest, MoonsOf1997)
{
    const CommandRun r = run(&runMoonsCommand, {QStringLiteral("--year"), QStringLiteral("1997")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 29);
    EXPECT_EQ(r.out.rfind("12/10/1996 - New Moon\n12/24/1996 - Full Moon\n1/8/1997 - New Moon\n", 0), 0u) << r.out;
    EXPECT_TRUE(r.out.ends_with("12/29/1997 - New Moon\n1/12/1998 - Full Moon\n1/27/1998 - New Moon\n")) << r.out;
}

TEST_F(AlmanacCommandTest, MeteorsOf1997AndDefaultYearFromTheClock)
{
    const CommandRun r = run(&runMeteorsCommand, {QStringLiteral("--year=1997")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("1/3/1997  -  Quadrantids\n4/22/1997  -  Lyrids\n", 0), 0u) << r.out;
    EXPECT_TRUE(r.out.ends_with("11/17/1997  -  Leonids\n12/13/1997  -  Geminids\n")) << r.out;

    const CommandRun now = run(&runMeteorsCommand, {});
    ASSERT_EQ(now.status, 0);
    EXPECT_NE(now.out.find("/2026  -  Perseids"), std::string::npos) << now.out;
    const CommandRun moons = run(&runMoonsCommand, {});
    EXPECT_NE(moons.out.find("/2026 - Full Moon"), std::string::npos) << moons.out;
}

TEST_F(AlmanacCommandTest, BadYearsExitWithStatusTwo)
{
    for (const char* bad : {"1582", "10000", "-5", "year", "2026x", ""}) {
        for (Command command : {Command(&runMoonsCommand), Command(&runMeteorsCommand)}) {
            const CommandRun r = run(command, {QStringLiteral("--year"), QString::fromLatin1(bad)});
            EXPECT_EQ(r.status, 2) << bad;
            EXPECT_TRUE(r.out.empty());
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        }
    }
    EXPECT_EQ(run(&runMoonsCommand, {QStringLiteral("--year")}).status, 2);
    EXPECT_EQ(run(&runMeteorsCommand, {QStringLiteral("1997")}).status, 2);
}

TEST(RuleText, SelmonthWords)
{
    EXPECT_EQ(RuleText(10, 5), QStringLiteral("Last Sunday in October"));
    EXPECT_EQ(RuleText(4, 0), QStringLiteral("April"));
    EXPECT_EQ(RuleText(4, 1), QStringLiteral("1st Sunday in April"));
}

} // namespace
} // namespace cli
