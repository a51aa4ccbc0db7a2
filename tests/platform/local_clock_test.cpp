// The read-only clock and its fake.
#include "fakes/fake_local_clock.h"
#include "platform/local_clock.h"

#include <QDateTime>
#include <QTimeZone>
#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(DateTimeValueOf, WallClockFields)
{
    const QDateTime noon(QDate(2026, 12, 7), QTime(12, 0), QTimeZone::utc());
    EXPECT_EQ(DateTimeValueOf(noon), 46363.5);
    const QDateTime first(QDate(2000, 1, 1), QTime(0, 0), QTimeZone::utc());
    EXPECT_EQ(DateTimeValueOf(first), 36526);
    const QDateTime zero(QDate(1899, 12, 30), QTime(18, 0), QTimeZone::utc());
    EXPECT_EQ(DateTimeValueOf(zero), 0.75);
}

TEST(RealSystemClock, ReadsTheLocalTimeNow)
{
    const double before = DateTimeValueOf(QDateTime::currentDateTime());
    const double now = RealSystemClock().LocalNow();
    const double after = DateTimeValueOf(QDateTime::currentDateTime());
    EXPECT_LE(before, now);
    EXPECT_LE(now, after);
}

TEST(FakeSystemClock, StandsStillUntilTold)
{
    fakes::FakeSystemClock clock(46363.5);
    EXPECT_EQ(clock.LocalNow(), 46363.5);
    clock.now += 1.0 / 86400;
    EXPECT_EQ(clock.LocalNow(), 46363.5 + 1.0 / 86400);
    EXPECT_EQ(clock.reads, 2);
}

} // namespace
} // namespace platform
