#pragma once
// `tikora-cli almanac | moons | meteors`: the almanac in a terminal.

#include <QStringList>
#include <iosfwd>

namespace platform {
class SystemClock;
class TimeZoneService;
struct FormatSettings;
} // namespace platform

namespace cli {

// Each takes the arguments after the command word and returns the exit
// status: 0 done, 2 bad usage.
int runAlmanacCommand(const QStringList& args, std::ostream& out, std::ostream& err);
int runMoonsCommand(const QStringList& args, std::ostream& out, std::ostream& err);
int runMeteorsCommand(const QStringList& args, std::ostream& out, std::ostream& err);

// The platform services the commands read: the real ones above, fakes in tests.
struct AlmanacEnvironment {
    const platform::SystemClock& clock;
    const platform::TimeZoneService& zone;
    const platform::FormatSettings& format;
};

int runAlmanacCommand(const QStringList& args, std::ostream& out, std::ostream& err, const AlmanacEnvironment& env);
int runMoonsCommand(const QStringList& args, std::ostream& out, std::ostream& err, const AlmanacEnvironment& env);
int runMeteorsCommand(const QStringList& args, std::ostream& out, std::ostream& err, const AlmanacEnvironment& env);

} // namespace cli
