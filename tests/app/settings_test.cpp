// Whole numbers as the settings file and the edits give them.
#include "app/settings.h"

#include <gtest/gtest.h>

namespace app {
namespace {

TEST(ParseWholeNumber, DecimalAndHexadecimal)
{
    EXPECT_EQ(ParseWholeNumber("10"), 10);
    EXPECT_EQ(ParseWholeNumber("-5"), -5);
    EXPECT_EQ(ParseWholeNumber("$1F"), 31);
    EXPECT_EQ(ParseWholeNumber("0x10"), 16);
    EXPECT_EQ(ParseWholeNumber("0X1f"), 31);
    EXPECT_EQ(ParseWholeNumber("$FFFFFFFF"), -1);
    EXPECT_EQ(ParseWholeNumber("2147483647"), 2147483647);
}

TEST(ParseWholeNumber, TextThatIsNoWholeNumber)
{
    for (const char* text : {"", "abc", "1.5", "0x", "$", "-", "12a", "2147483648", "99999999999", " 1"})
        EXPECT_EQ(ParseWholeNumber(text), std::nullopt) << text;
    EXPECT_EQ(ParseWholeNumber("0x"), std::nullopt);   // two characters: no hexadecimal mark
}

} // namespace
} // namespace app
