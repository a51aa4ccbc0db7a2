// GetTimeZoneInformation from the tz database, with TZ pinned by each test.
#include "platform/timezone.h"

#include <QByteArray>
#include <QDateTime>
#include <QTimeZone>
#include <gtest/gtest.h>

#include <ctime>
#include <string>

namespace platform {
namespace {

// Sets TZ for one test and restores it afterwards.
class ScopedTz {
public:
    explicit ScopedTz(const char* zone) : had_(qEnvironmentVariableIsSet("TZ")), old_(qgetenv("TZ"))
    {
        qputenv("TZ", zone);
        tzset();
    }
    ~ScopedTz()
    {
        if (had_)
            qputenv("TZ", old_);
        else
            qunsetenv("TZ");
        tzset();
    }

private:
    bool had_;
    QByteArray old_;
};

QDateTime Utc(const char* iso)
{
    return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate).toUTC();
}

std::uint32_t Query(const char* zone, const char* isoUtc, TIME_ZONE_INFORMATION& info)
{
    ScopedTz tz(zone);
    return TimeZoneInformationAt(QTimeZone::systemTimeZone(), Utc(isoUtc), info);
}

void ExpectRule(const SYSTEMTIME& rule, int month, int weekday, int occurrence, int hour)
{
    EXPECT_EQ(rule.wMonth, month);
    EXPECT_EQ(rule.wDayOfWeek, weekday);
    EXPECT_EQ(rule.wDay, occurrence);
    EXPECT_EQ(rule.wHour, hour);
    EXPECT_EQ(rule.wYear, 0);
}

TEST(TimeZoneInformation, NewYorkInWinter)
{
    TIME_ZONE_INFORMATION info;
    EXPECT_EQ(Query("America/New_York", "2026-12-07T12:00:00Z", info), TIME_ZONE_ID_STANDARD);
    EXPECT_EQ(info.Bias, 300);
    EXPECT_EQ(info.DaylightBias, -60);
    EXPECT_EQ(info.StandardBias, 0);
    EXPECT_EQ(info.StandardName, QStringLiteral("Eastern Standard Time"));
    EXPECT_EQ(info.DaylightName, QStringLiteral("Eastern Daylight Time"));
    ExpectRule(info.DaylightDate, 3, 0, 2, 2);  // 2nd Sunday in March, 02:00
    ExpectRule(info.StandardDate, 11, 0, 1, 2); // 1st Sunday in November, 02:00 daylight time
}

TEST(TimeZoneInformation, NewYorkInSummerKeepsTheStandardBias)
{
    TIME_ZONE_INFORMATION info;
    EXPECT_EQ(Query("America/New_York", "2027-07-01T12:00:00Z", info), TIME_ZONE_ID_DAYLIGHT);
    EXPECT_EQ(info.Bias, 300);
    EXPECT_EQ(info.DaylightBias, -60);
}

TEST(TimeZoneInformation, BerlinLastSundays)
{
    TIME_ZONE_INFORMATION info;
    EXPECT_EQ(Query("Europe/Berlin", "2026-12-07T12:00:00Z", info), TIME_ZONE_ID_STANDARD);
    EXPECT_EQ(info.Bias, -60);
    EXPECT_EQ(info.StandardName, QStringLiteral("Central European Standard Time"));
    ExpectRule(info.DaylightDate, 3, 0, 5, 2);  // last Sunday in March
    ExpectRule(info.StandardDate, 10, 0, 5, 3); // last Sunday in October, 03:00 summer time
}

TEST(TimeZoneInformation, SpringForwardHourBoundary)
{
    TIME_ZONE_INFORMATION info;
    // 28 March 2027 01:00 UTC is 02:00 CET -> 03:00 CEST.
    EXPECT_EQ(Query("Europe/Berlin", "2027-03-28T00:59:59Z", info), TIME_ZONE_ID_STANDARD);
    EXPECT_EQ(Query("Europe/Berlin", "2027-03-28T01:00:00Z", info), TIME_ZONE_ID_DAYLIGHT);
    EXPECT_EQ(info.Bias, -60);
}

TEST(TimeZoneInformation, KolkataHadDaylightSavingOnlyInThePast)
{
    TIME_ZONE_INFORMATION info;
    EXPECT_EQ(Query("Asia/Kolkata", "2026-12-07T12:00:00Z", info), TIME_ZONE_ID_UNKNOWN);
    EXPECT_EQ(info.Bias, -330);
    EXPECT_EQ(info.StandardDate.wMonth, 0);
    EXPECT_EQ(info.DaylightDate.wMonth, 0);
    EXPECT_EQ(info.DaylightBias, 0);
}

TEST(TimeZoneEdgeCase, AsiaKathmandu)
{
    TIME_ZONE_INFORMATION info;
    EXPECT_EQ(Query("Asia/Kathmandu", "2026-12-07T12:00:00Z", info), TIME_ZONE_ID_UNKNOWN);
    EXPECT_EQ(info.Bias, -345);
    EXPECT_EQ(info.StandardName, QStringLiteral("Nepal Time"));
    // The tz-data artefact of 2037/2038 changes nothing and is not a rule.
    EXPECT_EQ(Query("Asia/Kathmandu", "2037-06-01T00:00:00Z", info), TIME_ZONE_ID_UNKNOWN);
    EXPECT_EQ(info.StandardDate.wMonth, 0);
}

TEST(TimeZoneInformation, Utc)
{
    TIME_ZONE_INFORMATION info;
    EXPECT_EQ(Query("UTC", "2026-12-07T12:00:00Z", info), TIME_ZONE_ID_UNKNOWN);
    EXPECT_EQ(info.Bias, 0);
}

TEST(TimeZoneInformation, SydneyIsInDaylightTimeInDecember)
{
    TIME_ZONE_INFORMATION info;
    EXPECT_EQ(Query("Australia/Sydney", "2026-12-07T12:00:00Z", info), TIME_ZONE_ID_DAYLIGHT);
    EXPECT_EQ(info.Bias, -600);
    ExpectRule(info.DaylightDate, 10, 0, 1, 2); // 1st Sunday in October
    ExpectRule(info.StandardDate, 4, 0, 1, 3);  // 1st Sunday in April, 03:00 daylight time
}

TEST(TimeZoneInformation, DublinsNegativeDaylightOffsetReadsAsWindowsShowsIt)
{
    TIME_ZONE_INFORMATION info;
    EXPECT_EQ(Query("Europe/Dublin", "2026-12-07T12:00:00Z", info), TIME_ZONE_ID_STANDARD);
    EXPECT_EQ(info.Bias, 0);
    EXPECT_EQ(info.DaylightBias, -60);
    EXPECT_EQ(info.DaylightDate.wMonth, 3);
    EXPECT_EQ(info.StandardDate.wMonth, 10);
}

// Daylight shifts that are not an hour; the bias in force is the zone's true
// offset at that moment.
TEST(TimeZoneEdgeCase, DaylightBiasIsTheZonesOwnShift)
{
    struct Case {
        const char* zone;
        const char* isoUtc;
        std::uint32_t state;
        int bias, daylightBias;
    };
    const Case cases[] = {
        {"Australia/Lord_Howe", "2026-12-07T12:00:00Z", TIME_ZONE_ID_DAYLIGHT, -630, -30},
        {"Australia/Lord_Howe", "2027-07-01T12:00:00Z", TIME_ZONE_ID_STANDARD, -630, -30},
        {"Antarctica/Troll", "2027-07-01T12:00:00Z", TIME_ZONE_ID_DAYLIGHT, 0, -120},
        {"Antarctica/Troll", "2026-12-07T12:00:00Z", TIME_ZONE_ID_STANDARD, 0, -120},
        {"America/New_York", "2027-07-01T12:00:00Z", TIME_ZONE_ID_DAYLIGHT, 300, -60},
        {"Asia/Kolkata", "2027-07-01T12:00:00Z", TIME_ZONE_ID_UNKNOWN, -330, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.zone) + " " + c.isoUtc);
        TIME_ZONE_INFORMATION info;
        const std::uint32_t state = Query(c.zone, c.isoUtc, info);
        EXPECT_EQ(state, c.state);
        EXPECT_EQ(info.Bias, c.bias);
        EXPECT_EQ(info.DaylightBias, c.daylightBias);
        const int offsetMinutes = QTimeZone(QByteArray(c.zone)).offsetFromUtc(Utc(c.isoUtc)) / 60;
        EXPECT_EQ(BiasInForce(info, state), -offsetMinutes);
    }
}

// One service asked again and again, as the window's tick asks it: the kept
// answer gives way when the zone is another.
TEST(SystemTimeZone, FollowsTz)
{
    TIME_ZONE_INFORMATION info;
    const SystemTimeZone zone;
    {
        ScopedTz tz("Asia/Kathmandu");
        EXPECT_EQ(zone.GetTimeZoneInformation(info), TIME_ZONE_ID_UNKNOWN);
        EXPECT_EQ(info.Bias, -345);
    }
    {
        ScopedTz tz("America/New_York");
        const std::uint32_t result = zone.GetTimeZoneInformation(info);
        EXPECT_TRUE(result == TIME_ZONE_ID_STANDARD || result == TIME_ZONE_ID_DAYLIGHT);
        EXPECT_EQ(info.Bias, 300);
    }
}

} // namespace
} // namespace platform
