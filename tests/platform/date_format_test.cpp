// FormatDateTime with the program's patterns, under a pinned US locale and
// under locales whose separators differ.
#include "platform/date_format.h"

#include <QLocale>
#include <gtest/gtest.h>

namespace platform {
namespace {

constexpr double kSeventhOfDecember2026 = 46363;

double At(double day, int hour, int minute, double second)
{
    return day + (hour * 3600 + minute * 60 + second) / 86400.0;
}

QString Us(const char* pattern, double value)
{
    return FormatDateTime(QString::fromLatin1(pattern), value, UsFormatSettings());
}

TEST(FormatDateTime, ClockPanelPattern)
{
    EXPECT_EQ(Us("h:nn:ss AM/PM  m/d/yy", At(kSeventhOfDecember2026, 14, 3, 22)), QStringLiteral("2:03:22 PM  12/7/26"));
    EXPECT_EQ(Us("h:nn:ss AM/PM  m/d/yy", At(kSeventhOfDecember2026, 0, 5, 0)), QStringLiteral("12:05:00 AM  12/7/26"));
    EXPECT_EQ(Us("h:nn:ss AM/PM  m/d/yy", At(kSeventhOfDecember2026, 12, 0, 0)), QStringLiteral("12:00:00 PM  12/7/26"));
}

TEST(FormatDateTime, TwentyFourHourPatterns)
{
    EXPECT_EQ(Us("hh:nn:ss", At(kSeventhOfDecember2026, 7, 3, 14.86)), QStringLiteral("07:03:14"));
    EXPECT_EQ(Us("hh", 0.75), QStringLiteral("18"));
    EXPECT_EQ(Us("yyyy", kSeventhOfDecember2026), QStringLiteral("2026"));
    EXPECT_EQ(Us("m", kSeventhOfDecember2026), QStringLiteral("12"));
    EXPECT_EQ(Us("d", kSeventhOfDecember2026), QStringLiteral("7"));
    EXPECT_EQ(Us("dd/mm/yyyy", 36526), QStringLiteral("01/01/2000"));
}

TEST(FormatDateTime, SecondsTruncateAfterRoundingToTheMillisecond)
{
    EXPECT_EQ(Us("hh:nn:ss", At(0, 3, 18, 43.92)), QStringLiteral("03:18:43"));
    EXPECT_EQ(Us("hh:nn:ss.zzz", At(0, 3, 18, 43.9996)), QStringLiteral("03:18:44.000"));
}

TEST(FormatDateTime, TheSecondBeforeMidnight)
{
    EXPECT_EQ(Us("hh:nn:ss m/d/yy", At(kSeventhOfDecember2026, 23, 59, 59)), QStringLiteral("23:59:59 12/7/26"));
    EXPECT_EQ(Us("hh:nn:ss m/d/yy", At(kSeventhOfDecember2026, 23, 59, 59.9996)), QStringLiteral("00:00:00 12/8/26"));
}

TEST(FormatDateTime, MinutesAfterAnHour)
{
    EXPECT_EQ(Us("h:m", At(kSeventhOfDecember2026, 9, 5, 0)), QStringLiteral("9:5"));
    EXPECT_EQ(Us("hh:mm m", At(kSeventhOfDecember2026, 9, 5, 0)), QStringLiteral("09:05 12"));
}

TEST(FormatDateTime, QuotedTextIsLiteral)
{
    EXPECT_EQ(Us("\"day\" d 'of' m", kSeventhOfDecember2026), QStringLiteral("day 7 of 12"));
}

TEST(FormatDateTime, LocaleSeparatorsReplaceSlashAndColon)
{
    FormatSettings fs = UsFormatSettings();
    fs.DateSeparator = QStringLiteral(".");
    fs.TimeSeparator = QStringLiteral(".");
    EXPECT_EQ(FormatDateTime(QStringLiteral("hh:nn m/d/yy"), At(kSeventhOfDecember2026, 8, 9, 0), fs), QStringLiteral("08.09 12.7.26"));
}

TEST(FormatDateTime, DefaultDateAndTimeForm)
{
    // "c": the short date, a blank and the long time ("Last Updated").
    EXPECT_EQ(Us("c", At(kSeventhOfDecember2026, 14, 3, 22)), QStringLiteral("12/7/26 2:03:22 PM"));
    EXPECT_EQ(Us("tt", At(kSeventhOfDecember2026, 14, 3, 22)), QStringLiteral("2:03:22 PM"));
    EXPECT_EQ(Us("ddddd", kSeventhOfDecember2026), QStringLiteral("12/7/26"));
}

TEST(FormatSettingsFromLocale, CAndPosixFallBackToUs)
{
    const FormatSettings fs = FormatSettingsFromLocale(QLocale::c());
    EXPECT_EQ(fs.DateSeparator, QStringLiteral("/"));
    EXPECT_EQ(fs.TimeSeparator, QStringLiteral(":"));
    EXPECT_EQ(fs.ShortDateFormat, QStringLiteral("m/d/yy"));
    EXPECT_EQ(fs.LongTimeFormat, QStringLiteral("h:nn:ss AM/PM"));
}

TEST(FormatSettingsFromLocale, UnitedStatesDropsTheZoneName)
{
    const FormatSettings fs = FormatSettingsFromLocale(QLocale(QStringLiteral("en_US")));
    EXPECT_EQ(fs.ShortDateFormat, QStringLiteral("m/d/yy"));
    EXPECT_EQ(fs.LongTimeFormat, QStringLiteral("h:nn:ss AM/PM"));
    EXPECT_EQ(fs.DateSeparator, QStringLiteral("/"));
    EXPECT_EQ(fs.TimeSeparator, QStringLiteral(":"));
}

TEST(FormatSettingsFromLocale, GermanUsesPointsInDates)
{
    const FormatSettings fs = FormatSettingsFromLocale(QLocale(QStringLiteral("de_DE")));
    EXPECT_EQ(fs.DateSeparator, QStringLiteral("."));
    EXPECT_EQ(fs.TimeSeparator, QStringLiteral(":"));
    EXPECT_EQ(fs.ShortDateFormat, QStringLiteral("dd/mm/yy"));
    EXPECT_EQ(fs.LongTimeFormat, QStringLiteral("hh:nn:ss"));
    EXPECT_EQ(FormatDateTime(QStringLiteral("c"), At(kSeventhOfDecember2026, 14, 3, 22), fs), QStringLiteral("07.12.26 14:03:22"));
}

} // namespace
} // namespace platform
