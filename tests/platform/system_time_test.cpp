// The UTC record and the right to set the clock. Nothing here sets the clock:
// only records the real call must refuse are given to it.
#include "platform/system_time.h"

#include <QDateTime>
#include <gtest/gtest.h>

#include <sys/timex.h>

namespace platform {
namespace {

TEST(SystemTimeRecord, FromAndToMillisecondsSince1970)
{
    // 2026-12-07 23:59:59.250 UTC, a Monday.
    const std::int64_t moment = QDateTime(QDate(2026, 12, 7), QTime(23, 59, 59, 250), Qt::UTC).toMSecsSinceEpoch();
    const SYSTEMTIME record = SystemTimeFromUnixMilliseconds(moment);
    EXPECT_EQ(record.wYear, 2026);
    EXPECT_EQ(record.wMonth, 12);
    EXPECT_EQ(record.wDay, 7);
    EXPECT_EQ(record.wDayOfWeek, 1);
    EXPECT_EQ(record.wHour, 23);
    EXPECT_EQ(record.wMinute, 59);
    EXPECT_EQ(record.wSecond, 59);
    EXPECT_EQ(record.wMilliseconds, 250);
    std::int64_t back = 0;
    ASSERT_TRUE(UnixMillisecondsFromSystemTime(record, back));
    EXPECT_EQ(back, moment);
    EXPECT_EQ(SystemTimeFromUnixMilliseconds(0).wDayOfWeek, 4);   // 1970-01-01 was a Thursday
}

TEST(SystemTimeRecord, FieldsOutOfRangeAreNoMoment)
{
    std::int64_t ignored = 0;
    SYSTEMTIME record = SystemTimeFromUnixMilliseconds(0);
    record.wHour = 24;
    EXPECT_FALSE(UnixMillisecondsFromSystemTime(record, ignored));
    record = SystemTimeFromUnixMilliseconds(0);
    record.wMonth = 13;
    EXPECT_FALSE(UnixMillisecondsFromSystemTime(record, ignored));
}

TEST(LinuxSystemTime, ReadsTheClockAsUtc)
{
    LinuxSystemTime clock;
    SYSTEMTIME record;
    const std::int64_t before = QDateTime::currentMSecsSinceEpoch();
    clock.GetSystemTime(record);
    const std::int64_t after = QDateTime::currentMSecsSinceEpoch();
    std::int64_t read = 0;
    ASSERT_TRUE(UnixMillisecondsFromSystemTime(record, read));
    EXPECT_GE(read, before - 1);
    EXPECT_LE(read, after + 1);
}

// Only the conversion is tested: no test may call the real clock setter.
TEST(LinuxSystemTime, ARecordThatIsNoMomentHasNoTime)
{
    SYSTEMTIME record;
    record.wYear = 2026;
    record.wMonth = 2;
    record.wDay = 30;
    std::int64_t milliseconds = 0;
    EXPECT_FALSE(UnixMillisecondsFromSystemTime(record, milliseconds));
}

TEST(LinuxSystemTime, KnowsOnlyTheSystemTimePrivilege)
{
    LinuxSystemTime clock;
    EXPECT_EQ(clock.AdjustPrivilege("SeShutdownPrivilege", true), PrivilegeResult::NoSuchPrivilege);
    // Lowering is always allowed; raising a right the process may lack is no error.
    EXPECT_EQ(clock.AdjustPrivilege(SE_SYSTEMTIME_NAME, false), PrivilegeResult::Adjusted);
    EXPECT_EQ(clock.AdjustPrivilege(SE_SYSTEMTIME_NAME, true), PrivilegeResult::Adjusted);
    EXPECT_EQ(clock.AdjustPrivilege(SE_SYSTEMTIME_NAME, false), PrivilegeResult::Adjusted);
}

TEST(KernelClockState, SynchronisedOnlyWhenTheKernelSaysSoPlainly)
{
    const struct {
        int callResult;
        int status;
        bool synchronised;
    } cases[] = {
        {TIME_OK, 0, true},
        {TIME_OK, STA_PLL, true},
        {TIME_INS, STA_PLL, true},          // a leap second pending is still synchronised
        {TIME_OK, STA_UNSYNC, false},
        {TIME_ERROR, STA_UNSYNC, false},   // the state after boot, with no time service
        {TIME_ERROR, 0, false},            // e.g. a lost PPS signal
        {-1, 0, false},                    // the call failed: nothing is known
    };
    for (const auto& c : cases)
        EXPECT_EQ(KernelStateIsSynchronised(c.callResult, c.status), c.synchronised)
            << c.callResult << " " << c.status;
}

} // namespace
} // namespace platform
