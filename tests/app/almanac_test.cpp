// The almanac pages: the tick's labels and moon picture, the UTC moment from
// the zone, the start-up ecliptic position, and the daylight-saving rule texts.
#include "app/window_fixture.h"
#include "ui/moon.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QTimer>

namespace testing_support {
namespace {

constexpr double kMinute = 1.0 / 1440;
// 7 December 2026 12:00 as a date-time value.
constexpr double kNoonValue = 46363.5;

QDateTime localAt(int hour, int minute = 0, QDate date = QDate(2026, 12, 7))
{
    return QDateTime(date, QTime(hour, minute), QTimeZone::utc());
}

using Almanac = WindowTest;

TEST_F(Almanac, DesignCaptionsUntilTheFirstTick)
{
    TViewForm& window = open();
    EXPECT_EQ(window.lblAge->text(), "lblAge");
    EXPECT_EQ(window.lblPhase->text(), "lblPhase");
    EXPECT_EQ(window.lblDist->text(), "lblDist");
    EXPECT_EQ(window.lblMoonSub->text(), "lblMoonSub");
    EXPECT_EQ(window.lblSunDist->text(), "lblSunDist");
    EXPECT_EQ(window.lblSunSub->text(), "lblSunSub");
    EXPECT_EQ(window.lblNewMoon->text(), "");
    EXPECT_EQ(window.lblNNM->text(), "");
    // The picture starts at the clock's local moment, at the page's size.
    EXPECT_EQ(window.Moon->MoonSize(), ui::ms32);
    EXPECT_EQ(window.Moon->size(), QSize(32, 32));
    EXPECT_DOUBLE_EQ(window.Moon->Date(), kNoonValue);
}

TEST_F(Almanac, OneTickAtNoonUtcFillsEveryLabel)
{
    TViewForm& window = open();
    window.Timer1Timer();
    EXPECT_EQ(window.Panel6->text(), "12:00:00 PM  12/7/26");
    EXPECT_EQ(window.lblNewMoon->text(), "07:03:15 UTC  11/9/26");
    EXPECT_EQ(window.lblFQ->text(), "11:49:03 UTC  11/17/26");
    EXPECT_EQ(window.lblFullMoon->text(), "14:54:36 UTC  11/24/26");
    EXPECT_EQ(window.lblLQ->text(), "06:09:48 UTC  12/1/26");
    EXPECT_EQ(window.lblNNM->text(), "00:53:07 UTC  12/9/26");
    EXPECT_EQ(window.lblDist->text(), "401792 km, 63.0 ER");
    EXPECT_EQ(window.lblSunDist->text(), "147383656 km,  0.985 AU");
    EXPECT_EQ(window.lblAge->text(), "28 days + 03:18:43");
    EXPECT_EQ(window.lblPhase->text(), "2%");
    EXPECT_EQ(window.lblMoonSub->text(), "0.4957");
    EXPECT_EQ(window.lblSunSub->text(), "0.5411");
    EXPECT_DOUBLE_EQ(window.Moon->Date(), kNoonValue);
    // Two days before new moon: a thin waning crescent.
    EXPECT_GT(window.Moon->PhaseDegrees(), 180);
    // A label grows with its text rather than cutting it.
    EXPECT_GE(window.lblSunDist->width(), window.lblSunDist->sizeHint().width());
}

TEST_F(Almanac, PhaseDatesUseTheLocaleSeparators)
{
    TViewForm& window = open();
    EXPECT_EQ(window.FormatUtc(46335.29392361111), "07:03:15 UTC  11/9/26");

    platform::FormatSettings dotted = platform::UsFormatSettings();
    dotted.DateSeparator = QStringLiteral(".");
    dotted.TimeSeparator = QStringLiteral(".");
    form.reset();
    ViewFormServices services{zone, clock, systemTime, tray, cursor, dotted, "time", [] {}};
    form = std::make_unique<TViewForm>(services);
    form->Timer1Timer();
    EXPECT_EQ(form->lblNewMoon->text(), "07.03.15 UTC  11.9.26");
}

TEST_F(Almanac, BiasOf300InStandardAndInDaylightTime)
{
    // Local 7:00 standard time is 12:00 UTC; local 8:00 daylight time too.
    zone = fakes::FakeTimeZone::WithBias(300, platform::TIME_ZONE_ID_STANDARD);
    setLocalNow(localAt(7));
    TViewForm& standard = open();
    standard.Timer1Timer();
    EXPECT_DOUBLE_EQ(standard.Moon->Date(), kNoonValue);
    EXPECT_EQ(standard.lblAge->text(), "28 days + 03:18:43");

    zone = fakes::FakeTimeZone::WithBias(300, platform::TIME_ZONE_ID_DAYLIGHT);
    setLocalNow(localAt(8));
    TViewForm& daylight = open();
    daylight.Timer1Timer();
    EXPECT_DOUBLE_EQ(daylight.Moon->Date(), kNoonValue);
    EXPECT_EQ(daylight.lblAge->text(), "28 days + 03:18:43");
    EXPECT_EQ(daylight.lblDist->text(), "401792 km, 63.0 ER");
}

TEST_F(Almanac, DaylightTimeShiftsByTheZonesOwnDaylightBias)
{
    // Local 23:00 in Lord Howe's summer (bias -630, daylight bias -30) and
    // 14:00 in Troll's (bias 0, daylight bias -120) are both 12:00 UTC.
    struct Case {
        int bias, daylightBias, localHour;
    };
    for (const Case& c : {Case{-630, -30, 23}, Case{0, -120, 14}}) {
        SCOPED_TRACE(c.daylightBias);
        form.reset();
        zone = fakes::FakeTimeZone::WithBias(c.bias, platform::TIME_ZONE_ID_DAYLIGHT);
        zone.info.DaylightBias = c.daylightBias;
        setLocalNow(localAt(c.localHour));
        TViewForm& window = open();
        window.Timer1Timer();
        EXPECT_DOUBLE_EQ(window.Moon->Date(), kNoonValue);
        EXPECT_EQ(window.lblAge->text(), "28 days + 03:18:43");
    }
}

TEST_F(Almanac, EachTickTakesTheDaylightStateOfItsOwnQuery)
{
    zone = fakes::FakeTimeZone::WithBias(300, platform::TIME_ZONE_ID_DAYLIGHT);
    setLocalNow(localAt(12));
    TViewForm& window = open();
    window.Timer1Timer();
    EXPECT_DOUBLE_EQ(window.Moon->Date(), kNoonValue + 240 * kMinute);

    // The clocks went back while the program ran: 12:00 local is now 17:00 UTC.
    zone.result = platform::TIME_ZONE_ID_STANDARD;
    const int queries = zone.queries;
    window.Timer1Timer();
    EXPECT_EQ(zone.queries, queries + 1);
    EXPECT_DOUBLE_EQ(window.Moon->Date(), kNoonValue + 300 * kMinute);
    EXPECT_EQ(window.tzState, platform::TIME_ZONE_ID_DAYLIGHT);   // the start-up state is kept
    EXPECT_EQ(window.Daytime->text(), "Fake Daylight Time");

    // And forward again in spring.
    zone.result = platform::TIME_ZONE_ID_DAYLIGHT;
    window.Timer1Timer();
    EXPECT_DOUBLE_EQ(window.Moon->Date(), kNoonValue + 240 * kMinute);
}

TEST_F(Almanac, EclipticPositionOfTheStartDateSurvivesMidnight)
{
    setLocalNow(localAt(23, 59));
    TViewForm& window = open();
    EXPECT_EQ(window.lblEclLat->text(), "-5°");
    EXPECT_EQ(window.lblEclLong->text(), "237°");

    setLocalNow(localAt(0, 1, QDate(2026, 12, 8)));
    window.Timer1Timer();
    EXPECT_EQ(window.Panel6->text(), "12:01:00 AM  12/8/26");
    EXPECT_EQ(window.lblEclLat->text(), "-5°");
    EXPECT_EQ(window.lblEclLong->text(), "237°");
}

TEST_F(Almanac, EclipticPositionIsThatOfTheLocalDate)
{
    // 23:30 on the 7th in a zone five hours behind UTC is already the 8th in
    // UTC; the start-up position is the local date's nonetheless.
    zone = fakes::FakeTimeZone::WithBias(300, platform::TIME_ZONE_ID_STANDARD);
    setLocalNow(localAt(23, 30));
    TViewForm& window = open();
    EXPECT_EQ(window.lblEclLong->text(), "237°");
}

TEST_F(Almanac, Timer1TicksOnItsOwnAboutOnceASecond)
{
    TViewForm& window = open();
    ASSERT_TRUE(window.Timer1->isActive());
    EXPECT_EQ(window.Timer1->interval(), 1000);
    const QDeadlineTimer deadline(3000);
    while (window.lblAge->text() == "lblAge" && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    EXPECT_EQ(window.lblAge->text(), "28 days + 03:18:43");
}

using DaylightLabels = WindowTest;

platform::SYSTEMTIME Rule(int month, int week, int weekday = 0)
{
    platform::SYSTEMTIME rule;
    rule.wMonth = static_cast<std::uint16_t>(month);
    rule.wDay = static_cast<std::uint16_t>(week);
    rule.wDayOfWeek = static_cast<std::uint16_t>(weekday);
    rule.wHour = 2;
    return rule;
}

TEST_F(DaylightLabels, LastSundayOfMarchToLastSundayOfOctober)
{
    zone = fakes::FakeTimeZone::WithBias(-60, platform::TIME_ZONE_ID_STANDARD);
    zone.info.DaylightDate = Rule(3, 5);
    zone.info.StandardDate = Rule(10, 5);
    TViewForm& window = open();
    EXPECT_EQ(window.lblStandard->text(), "Last Sunday in March");    // beside "Starts:"
    EXPECT_EQ(window.lblDaylight->text(), "Last Sunday in October");  // beside "Ends:"
    EXPECT_GE(window.lblStandard->width(), window.lblStandard->sizeHint().width());
}

TEST_F(DaylightLabels, WithoutRulesBothKeepTheirCaption)
{
    zone = fakes::FakeTimeZone::WithBias(-345, platform::TIME_ZONE_ID_UNKNOWN);
    // Only the end's month decides; a start without an end is not shown.
    zone.info.DaylightDate = Rule(4, 1);
    TViewForm& window = open();
    EXPECT_EQ(window.lblStandard->text(), "no daylight savings time!");
    EXPECT_EQ(window.lblDaylight->text(), "no daylight savings time!");
}

TEST_F(DaylightLabels, AnyWeekdayIsToldAsSundayAndOddWeeksAsTheBareMonth)
{
    zone = fakes::FakeTimeZone::WithBias(-120, platform::TIME_ZONE_ID_DAYLIGHT);
    zone.info.DaylightDate = Rule(4, 1, 5);   // the first Friday in April
    zone.info.StandardDate = Rule(9, 0);
    TViewForm& window = open();
    EXPECT_EQ(window.lblStandard->text(), "1st Sunday in April");
    EXPECT_EQ(window.lblDaylight->text(), "September");

    zone.info.StandardDate = Rule(9, 6);
    TViewForm& again = open();
    EXPECT_EQ(again.lblDaylight->text(), "September");
}

} // namespace
} // namespace testing_support
