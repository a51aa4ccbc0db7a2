// The --port rules of check and serve: numbers in range, known names, and a
// usage error for everything else (never a number wrapped into another port).
#include "cli/port_argument.h"

#include <gtest/gtest.h>

namespace {

bool onlyTimeKnown(const std::string& name)
{
    return name == "time";
}

TEST(PortArgument, NumbersInRangeAndKnownNamesPassEverythingElseIsRefused)
{
    struct Case {
        const char* text;
        const char* forCheck;   // the port given on, or "" when refused
        const char* forServe;
    };
    const Case cases[] = {
        {"37", "37", "37"},           {"1", "1", "1"},
        {"65535", "65535", "65535"},  {"+80", "80", "80"},
        {"0", "", "0"},               {"65536", "", ""},
        {"-1", "", ""},               {"131109", "", ""},
        {"99999999999", "", ""},      {"99999999999999999999999", "", ""},
        {"abc", "", ""},              {"", "", ""},
        {"time", "time", "time"},     {"37x", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const cli::PortArgument check = cli::ParsePortArgument(c.text, false, onlyTimeKnown);
        const cli::PortArgument serve = cli::ParsePortArgument(c.text, true, onlyTimeKnown);
        EXPECT_EQ(check.port, c.forCheck);
        EXPECT_EQ(serve.port, c.forServe);
        EXPECT_EQ(check.error.empty(), *c.forCheck != '\0');
        EXPECT_EQ(serve.error.empty(), *c.forServe != '\0');
    }
    EXPECT_NE(cli::ParsePortArgument("0", false, onlyTimeKnown).error.find("from 1 to 65535"), std::string::npos);
    EXPECT_NE(cli::ParsePortArgument("-1", true, onlyTimeKnown).error.find("0 (any free port)"), std::string::npos);
}

} // namespace
