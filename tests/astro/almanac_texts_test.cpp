// The texts of one tick's texts, getmoon's two texts and
// the number conventions behind them.
#include "astro/almanac_texts.h"
#include "astro/number_format.h"

#include <gtest/gtest.h>

namespace astro {
namespace {

TEST(AlmanacTexts, SeventhOfDecember2026Noon)
{
    const AlmanacTexts t = AlmanacTextsAt(46363.5);
    EXPECT_EQ(t.lblNewMoon, "07:03:15 UTC  11/9/26");
    EXPECT_EQ(t.lblFQ, "11:49:03 UTC  11/17/26");
    EXPECT_EQ(t.lblFullMoon, "14:54:36 UTC  11/24/26");
    EXPECT_EQ(t.lblLQ, "06:09:48 UTC  12/1/26");
    EXPECT_EQ(t.lblNNM, "00:53:07 UTC  12/9/26");
    EXPECT_EQ(t.lblDist, "401792 km, 63.0 ER");
    EXPECT_EQ(t.lblSunDist, "147383656 km,  0.985 AU");
    EXPECT_EQ(t.lblAge, "28 days + 03:18:43");
    EXPECT_EQ(t.lblPhase, "2%");
    EXPECT_EQ(t.lblMoonSub, "0.4957");
    EXPECT_EQ(t.lblSunSub, "0.5411");
}

TEST(AlmanacTexts, SeparatorsComeFromTheCaller)
{
    const AlmanacTexts t = AlmanacTextsAt(46363.5, TextSeparators{".", "-"});
    EXPECT_EQ(t.lblNewMoon, "07.03.15 UTC  11-9-26");
    EXPECT_EQ(t.lblAge, "28 days + 03:18:43"); // the age's colons are literal
}

TEST(FormatUtc, RoundsToTheNearestSecond)
{
    EXPECT_EQ(FormatUtc(46335.2939216), "07:03:15 UTC  11/9/26");  // 07:03:14.86
    EXPECT_EQ(FormatUtc(46357.2568045), "06:09:48 UTC  12/1/26");
    EXPECT_EQ(FormatUtc(46335 + (7 * 3600 + 3 * 60 + 14.4) / 86400), "07:03:14 UTC  11/9/26");
}

TEST(FormatUtc, DateRollsOverWhenTheSecondRoundsUpToMidnight)
{
    EXPECT_EQ(FormatUtc(46363 + (86399.6) / 86400), "00:00:00 UTC  12/8/26");
    EXPECT_EQ(FormatUtc(46752 + (86399.6) / 86400), "00:00:00 UTC  1/1/28"); // 31 December 2027
}

TEST(FormatUtc, TwoDigitYearOfTheNewCentury)
{
    EXPECT_EQ(FormatUtc(36526), "00:00:00 UTC  1/1/00");
}

TEST(FormatAge, WholeElapsedSeconds)
{
    EXPECT_EQ(FormatAge(28 + (3 * 3600 + 18 * 60 + 43.92) / 86400.0L), "28 days + 03:18:43");
    EXPECT_EQ(FormatAge(17.5L / 24), "0 days + 17:30:00");
    EXPECT_EQ(FormatAge(0), "0 days + 00:00:00");
}

TEST(FormatAge, SecondsCountAfterRoundingToTheMillisecond)
{
    EXPECT_EQ(FormatAge((59.9996L) / 86400), "0 days + 00:01:00");
    EXPECT_EQ(FormatAge((59.9994L) / 86400), "0 days + 00:00:59");
}

TEST(Str, PadsOnTheLeft)
{
    EXPECT_EQ(Str(0.98519, 6, 3), " 0.985");
    EXPECT_EQ(Str(62.99, 4, 1), "63.0");
    EXPECT_EQ(Str(0.49566, 6, 4), "0.4957");
    EXPECT_EQ(Str(-1.25, 8, 2), "   -1.25");
}

TEST(RoundText, HalvesToEven)
{
    EXPECT_EQ(RoundText(2.5L), "2");
    EXPECT_EQ(RoundText(3.5L), "4");
    EXPECT_EQ(RoundText(2.374L), "2");
    EXPECT_EQ(RoundText(401791.842L), "401792");
}

TEST(EclipticTexts, StartUpOnSeventhOfDecember2026)
{
    const EclipticTexts e = EclipticTextsForDate(2026, 12, 7);
    EXPECT_EQ(e.julianDayNumber, 2461382);
    EXPECT_EQ(e.lblEclLat, "-5\u00B0");
    EXPECT_EQ(e.lblEclLong, "237\u00B0");
}

TEST(EclipticDegreesText, TruncatedTowardZeroAndNotReduced)
{
    EXPECT_EQ(EclipticDegreesText(362.4L), "362\u00B0");
    EXPECT_EQ(EclipticDegreesText(-0.7L), "0\u00B0");
    EXPECT_EQ(EclipticDegreesText(-1.2L), "-1\u00B0");
    EXPECT_EQ(EclipticDegreesText(-5.09999L), "-5\u00B0");
    EXPECT_EQ(EclipticDegreesText(237.81L), "237\u00B0");
}

TEST(EclipticTexts, LongitudeIsTruncatedNotReduced)
{
    // Find dates whose unreduced longitude lies just outside [0, 360).
    bool sawAbove = false, sawNegative = false;
    for (int day = 0; day < 3000 && !(sawAbove && sawNegative); ++day) {
        const CivilDate d = CivilFromDayCount(46000 + day);
        const EclipticTexts e = EclipticTextsForDate(d.year, d.month, d.day);
        if (e.longitude >= 360) {
            sawAbove = true;
            EXPECT_EQ(e.lblEclLong, std::to_string(static_cast<int>(e.longitude)) + "\u00B0");
        }
        if (e.longitude < 0) {
            sawNegative = true;
            EXPECT_EQ(e.lblEclLong, (e.longitude > -1 ? std::string("0") : std::to_string(static_cast<int>(e.longitude))) + "\u00B0");
        }
    }
    EXPECT_TRUE(sawAbove);
    EXPECT_TRUE(sawNegative);
}

TEST(CivilFromDayCount, KnownDays)
{
    const CivilDate d = CivilFromDayCount(46363);
    EXPECT_EQ(d.year, 2026);
    EXPECT_EQ(d.month, 12);
    EXPECT_EQ(d.day, 7);
    const CivilDate e = CivilFromDayCount(-115858);
    EXPECT_EQ(e.year, 1582);
    EXPECT_EQ(e.month, 10);
    EXPECT_EQ(e.day, 15);
}

} // namespace
} // namespace astro
