// The four conversions between date-time values, julian days and
// calendar dates, against published check values.
#include "astro/calendar.h"

#include <gtest/gtest.h>

namespace astro {
namespace {

struct Mdy {
    int month, day, year;
    bool operator==(const Mdy&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Mdy& d) { return os << d.month << '/' << d.day << '/' << d.year; }

Mdy Convert(double j)
{
    Mdy d{};
    JtoD(j, d.month, d.day, d.year);
    return d;
}

TEST(DateToJulian, FirstOfJanuary2000IsHalfDayBeforeJ2000)
{
    EXPECT_EQ(DateToJulian(36526), 2451544.5L);
}

TEST(DateToJulian, FourteenthOfOctober1582AndBeforeAreOutOfRange)
{
    EXPECT_EQ(DateToJulian(kDate14Oct1582), 0);
    EXPECT_EQ(DateToJulian(kDate14Oct1582 - 1000), 0);
    EXPECT_EQ(DateToJulian(kDate15Oct1582), 2299160.5L);
}

TEST(DateToJulian, OneSecondAfterTheCutOffAlreadyConverts)
{
    const double oneSecond = 1.0 / 86400;
    EXPECT_NEAR(static_cast<double>(DateToJulian(kDate14Oct1582 + oneSecond)), 2299159.5 + oneSecond, 1e-9);
}

TEST(JulianToDate, NoonOfJ2000)
{
    EXPECT_EQ(JulianToDate(2451545.0L), 36526.5);
}

TEST(JulianToDate, CutOffAtFifteenthOfOctober1582)
{
    EXPECT_EQ(JulianToDate(2299160.5L), kDate15Oct1582);
    EXPECT_EQ(JulianToDate(2299160.4L), 0);
}

TEST(JulianToDate, RoundTripsDateToJulian)
{
    for (double t : {0.0, 36526.0, 46363.5, 46335.2939216, 2958465.999})
        EXPECT_EQ(JulianToDate(DateToJulian(t)), t) << t;
}

TEST(CalendarDayNumber, CheckValues)
{
    EXPECT_EQ(CalendarDayNumber(2000, 1, 6), 2451550);
    EXPECT_EQ(CalendarDayNumber(1970, 1, 1), 2440588);
    EXPECT_EQ(CalendarDayNumber(2000, 2, 29), 2451604);
    EXPECT_EQ(CalendarDayNumber(2000, 3, 1), 2451605);
    EXPECT_EQ(CalendarDayNumber(1582, 10, 15), 2299161);
}

TEST(CalendarDayNumber, FourthOfOctober1582IsReadAsJulianCalendar)
{
    EXPECT_EQ(CalendarDayNumber(1582, 10, 4), 2299160);
}

TEST(JtoD, CheckValues)
{
    EXPECT_EQ(Convert(2451550), (Mdy{1, 6, 2000}));
    EXPECT_EQ(Convert(2440588), (Mdy{1, 1, 1970}));
}

TEST(JtoD, IsPurelyGregorianUnlikeCalendarDayNumber)
{
    EXPECT_EQ(Convert(2299160), (Mdy{10, 14, 1582}));
}

TEST(JtoD, FirstOfMarchInACenturyYearThatIsNotLeap)
{
    // The design's reciprocal 1/146097 gave 29 February 7900 here.
    EXPECT_EQ(Convert(CalendarDayNumber(7900, 3, 1)), (Mdy{3, 1, 7900}));
    EXPECT_EQ(Convert(CalendarDayNumber(1900, 3, 1)), (Mdy{3, 1, 1900}));
}

TEST(JtoD, InvertsCalendarDayNumberForEveryGregorianDayTo9999)
{
    const int daysInMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int failures = 0;
    for (int y = 1583; y <= 9999; ++y) {
        const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
        for (int m = 1; m <= 12; ++m) {
            const int last = daysInMonth[m - 1] + (m == 2 && leap ? 1 : 0);
            for (int d = 1; d <= last; ++d) {
                if (Convert(CalendarDayNumber(y, m, d)) != Mdy{m, d, y} && ++failures <= 3)
                    ADD_FAILURE() << y << '-' << m << '-' << d;
            }
        }
    }
    EXPECT_EQ(failures, 0);
}

TEST(JtoD, ConsecutiveNumbersAreConsecutiveDays)
{
    Mdy previous = Convert(2299160);
    for (double j = 2299161; j < 2299161 + 3 * 146097; ++j) {
        const Mdy next = Convert(j);
        const bool sameMonth = next.year == previous.year && next.month == previous.month && next.day == previous.day + 1;
        const bool newMonth = next.day == 1 && (next.month == previous.month + 1 || (next.month == 1 && previous.month == 12 && next.year == previous.year + 1));
        ASSERT_TRUE(sameMonth || newMonth) << previous << " then " << next;
        previous = next;
    }
}

} // namespace
} // namespace astro
