// tikora-cli check's usage errors: each ends with status 2 and one line on
// stderr, before anything is asked of the network.
#include "cli/check_command.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

TEST(CheckCommand, UsageErrorsEndWithStatusTwo)
{
    struct Case {
        QStringList args;
        const char* says;
    };
    const Case cases[] = {
        {{"--port", "1", "--port", "2", "host"}, "--port is given more than once"},
        {{"--json", "--json", "host"}, "--json is given more than once"},
        {{"--port", "--json", "host"}, "--port needs a value"},
        {{"host", "--timeout"}, "--timeout needs a value"},
        {{"--ntp", "--udp", "host"}, "exclude each other"},
        {{"one", QString(256, 'a')}, "HOST is longer than 255 characters"},
        {QString("h ").repeated(17).trimmed().split(' '), "at most 16 HOSTs"},
        {{"--samples", "2", "host"}, "--samples needs --ntp"},
        {{"--nts", "--ntp", "host"}, "--nts excludes --ntp"},
        {{"--nts", "--udp", "host"}, "--nts excludes"},
        {{"--ca", "x.pem", "host"}, "need --nts"},
        {{"--nts-port", "4460", "host"}, "need --nts"},
        {{"--nts", "--nts-port", "0", "host"}, "--nts-port 0 is out of range"},
        {{"--nts", "--ca", "--json", "host"}, "--ca needs a value"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        std::ostringstream out, err;
        EXPECT_EQ(cli::runCheckCommand(c.args, out, err), 2);
        EXPECT_NE(err.str().find(c.says), std::string::npos) << err.str();
        EXPECT_TRUE(out.str().empty());
    }
}

} // namespace
