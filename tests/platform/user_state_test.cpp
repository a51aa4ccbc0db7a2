#include "platform/user_state.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

// Sets or clears one variable for the test, putting it back afterwards.
class Variable {
public:
    Variable(const char* name, const char* value) : name_(name)
    {
        const char* old = std::getenv(name);
        had_ = old != nullptr;
        if (had_)
            old_ = old;
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~Variable() { had_ ? ::setenv(name_, old_.c_str(), 1) : ::unsetenv(name_); }

private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

TEST(UserState, TheFolderFollowsAnAbsoluteStateHomeElseTheHome)
{
    struct Case {
        const char* stateHome;
        const char* folder;
    } const cases[] = {
        {"/tmp/x", "/tmp/x/tikora"},
        {nullptr, "/home/user/.local/state/tikora"},
        {"", "/home/user/.local/state/tikora"},
        {"relative/state", "/home/user/.local/state/tikora"},   // relative: ignored
    };
    const Variable home("HOME", "/home/user");
    for (const Case& c : cases) {
        const Variable state("XDG_STATE_HOME", c.stateHome);
        EXPECT_EQ(platform::UserStateDirectory(), c.folder) << (c.stateHome ? c.stateHome : "(unset)");
    }
}

} // namespace
