#include "ui/daylight_text.h"

#include <gtest/gtest.h>

namespace ui {
namespace {

TEST(Selmonth, WeekPhraseAndMonthName)
{
    EXPECT_EQ(selmonth(10, 5), "Last Sunday in October");
    EXPECT_EQ(selmonth(3, 2), "2nd Sunday in March");
    EXPECT_EQ(selmonth(4, 1), "1st Sunday in April");
    EXPECT_EQ(selmonth(11, 3), "3rd Sunday in November");
    EXPECT_EQ(selmonth(9, 4), "4th Sunday in September");
}

TEST(Selmonth, OtherWeeksGiveTheBareMonth)
{
    EXPECT_EQ(selmonth(4, 0), "April");
    EXPECT_EQ(selmonth(12, 6), "December");
}

} // namespace
} // namespace ui
