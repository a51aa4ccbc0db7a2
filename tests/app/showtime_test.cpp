// The server's time in local time, the correction, and setting the clock.
#include "app/window_fixture.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

namespace testing_support {
namespace {

using Lines = std::vector<std::string>;

QDateTime utcAt(int hour, int minute, int second = 0, int dayOffset = 0)
{
    return QDateTime(QDate(2026, 12, 7).addDays(dayOffset), QTime(hour, minute, second), QTimeZone::utc());
}

class Showtime : public WindowTest {
protected:
    TViewForm& openWith(bool adjust)
    {
        writeSettings(adjust ? "[ViewForm]\nAdjust=1\n" : "[ViewForm]\nAdjust=0\n");
        TViewForm& window = open();
        window.checkEngine().setCheckNumber(1);
        return window;
    }
    // The server's time of day for a UTC moment in a zone of that bias.
    std::tuple<int, int, int> serverTime(int bias, std::uint32_t state, const QDateTime& utc)
    {
        zone = fakes::FakeTimeZone::WithBias(bias, state);
        TViewForm& window = form ? *form : openWith(false);
        window.showtime(timeAnswerOf(timestampOf(utc)));
        return {window.svrHour, window.svrMin, window.svrSec};
    }
};

TEST_F(Showtime, ZonesWholeAndHalfHoursWest)
{
    EXPECT_EQ(serverTime(300, platform::TIME_ZONE_ID_STANDARD, utcAt(12, 0)), std::make_tuple(7, 0, 0));
    EXPECT_EQ(serverTime(300, platform::TIME_ZONE_ID_DAYLIGHT, utcAt(12, 0)), std::make_tuple(8, 0, 0));
    EXPECT_EQ(serverTime(210, platform::TIME_ZONE_ID_STANDARD, utcAt(10, 0)), std::make_tuple(6, 30, 0));
}

TEST_F(Showtime, ZonesEastOfUtcWithHalfAndQuarterHours)
{
    EXPECT_EQ(serverTime(-330, platform::TIME_ZONE_ID_UNKNOWN, utcAt(10, 40)), std::make_tuple(16, 10, 0));
    EXPECT_EQ(serverTime(-330, platform::TIME_ZONE_ID_UNKNOWN, utcAt(10, 20)), std::make_tuple(15, 50, 0));
    // Nepal and the Chatham Islands keep their own minute.
    EXPECT_EQ(serverTime(-345, platform::TIME_ZONE_ID_UNKNOWN, utcAt(10, 0, 9)), std::make_tuple(15, 45, 9));
    EXPECT_EQ(serverTime(-765, platform::TIME_ZONE_ID_STANDARD, utcAt(10, 0)), std::make_tuple(22, 45, 0));
}

TEST_F(Showtime, DaylightTimeShiftsByTheZonesOwnDaylightBias)
{
    // 12:00 UTC: Lord Howe in summer is 10:30 + 0:30 ahead, Troll 0:00 + 2:00.
    struct Case {
        int bias, daylightBias, hour, minute;
    };
    for (const Case& c : {Case{-630, -30, 23, 0}, Case{0, -120, 14, 0}, Case{300, -60, 8, 0}}) {
        SCOPED_TRACE(c.daylightBias);
        form.reset();
        zone = fakes::FakeTimeZone::WithBias(c.bias, platform::TIME_ZONE_ID_DAYLIGHT);
        zone.info.DaylightBias = c.daylightBias;
        setLocalNow(utcAt(c.hour, c.minute));
        TViewForm& window = openWith(true);
        window.showtime(timeAnswerOf(timestampOf(utcAt(12, 0))));
        EXPECT_EQ(std::make_tuple(window.svrHour, window.svrMin), std::make_tuple(c.hour, c.minute));
        // The PC shows the same local time: nothing to correct.
        EXPECT_EQ(window.Correction->text(), "Clocks Match!");
    }
}

TEST_F(Showtime, TheStartOf1970IsMidnight)
{
    zone = fakes::FakeTimeZone::WithBias(0, platform::TIME_ZONE_ID_STANDARD);
    TViewForm& window = openWith(false);
    window.showtime(timeAnswerOf({0x83, 0xAA, 0x7E, 0x80}));
    EXPECT_EQ(window.svrTime->text(), "12:00:00 AM");
}

TEST_F(Showtime, DaylightStateIsTakenAtTheCheckNotAtStart)
{
    zone = fakes::FakeTimeZone::WithBias(300, platform::TIME_ZONE_ID_DAYLIGHT);
    TViewForm& window = openWith(false);
    EXPECT_EQ(window.tzState, platform::TIME_ZONE_ID_DAYLIGHT);
    zone.result = platform::TIME_ZONE_ID_STANDARD;   // the clocks went back meanwhile
    window.showtime(timeAnswerOf(timestampOf(utcAt(12, 0))));
    EXPECT_EQ(window.svrHour, 7);
    EXPECT_EQ(window.Daytime->text(), "Fake Daylight Time");   // the start-up name stays
}

TEST_F(Showtime, CorrectionSignAndSize)
{
    TViewForm& window = openWith(false);
    window.showtime(timeAnswerOf(timestampOf(noon().addSecs(5))));
    EXPECT_EQ(window.Correction->text(), "+ 5.00 s");
    window.showtime(timeAnswerOf(timestampOf(noon().addSecs(-5))));
    EXPECT_EQ(window.Correction->text(), "- 5.00 s");
    EXPECT_EQ(tray.lastTip(), "Clock adjusted - 5.00 s");
    window.showtime(timeAnswerOf(timestampOf(noon())));
    EXPECT_EQ(window.Correction->text(), "Clocks Match!");
    EXPECT_EQ(tray.lastTip(), "Clock is synchronized!");
}

TEST_F(Showtime, WithAdjustOffOnlyTheResultIsShown)
{
    TViewForm& window = openWith(false);
    window.showtime(timeAnswerOf(timestampOf(noon().addSecs(5))));
    EXPECT_EQ(log(), Lines{"1>Disconnected."});
    EXPECT_TRUE(systemTime.calls.empty());
    EXPECT_EQ(tray.lastTip(), "Clock adjusted + 5.00 s");
}

TEST_F(Showtime, ClockIsSetWithTheRightRaisedAroundTheOneCall)
{
    setLocalNow(noon(), 250);
    TViewForm& window = openWith(true);
    window.showtime(timeAnswerOf(timestampOf(noon().addSecs(5))));
    EXPECT_EQ(log(), (Lines{"1>Correcting System Time", "1>Clock set to 12:00:00 PM", "1>Disconnected."}));
    EXPECT_EQ(systemTime.calls, (Lines{"get", "privilege on SeSystemtimePrivilege", "set",
                                        "privilege off SeSystemtimePrivilege"}));
    ASSERT_EQ(systemTime.setRecords.size(), 1u);
    const platform::SYSTEMTIME& record = systemTime.setRecords[0];
    EXPECT_EQ(std::make_tuple(record.wYear, record.wMonth, record.wDay, record.wHour, record.wMinute, record.wSecond,
                              record.wMilliseconds),
              std::make_tuple(2026, 12, 7, 12, 0, 5, 250));
}

TEST_F(Showtime, AcrossMidnightTheShortWayAndTheDateRollsOver)
{
    setLocalNow(QDateTime(QDate(2026, 12, 7), QTime(23, 59, 59), QTimeZone::utc()), 500);
    TViewForm& window = openWith(true);
    window.showtime(timeAnswerOf(timestampOf(utcAt(0, 0, 1, 1))));
    EXPECT_EQ(window.Correction->text(), "+ 2.00 s");
    ASSERT_EQ(systemTime.setRecords.size(), 1u);
    const platform::SYSTEMTIME& forward = systemTime.setRecords[0];
    EXPECT_EQ(std::make_tuple(forward.wYear, forward.wMonth, forward.wDay, forward.wHour, forward.wMinute,
                              forward.wSecond, forward.wMilliseconds, forward.wDayOfWeek),
              std::make_tuple(2026, 12, 8, 0, 0, 1, 500, 2));

    setLocalNow(QDateTime(QDate(2027, 1, 1), QTime(0, 0, 1), QTimeZone::utc()));
    window.showtime(timeAnswerOf(timestampOf(QDateTime(QDate(2026, 12, 31), QTime(23, 59, 59), QTimeZone::utc()))));
    EXPECT_EQ(window.Correction->text(), "- 2.00 s");
    const platform::SYSTEMTIME& back = systemTime.setRecords.at(1);
    EXPECT_EQ(std::make_tuple(back.wYear, back.wMonth, back.wDay, back.wHour, back.wMinute, back.wSecond),
              std::make_tuple(2026, 12, 31, 23, 59, 59));
}

TEST_F(Showtime, ARefusedClockChangeIsLoggedAndTipped)
{
    systemTime.setSucceeds = false;
    TViewForm& window = openWith(true);
    window.showtime(timeAnswerOf(timestampOf(noon().addSecs(5))));
    EXPECT_EQ(log(), (Lines{"1>Correcting System Time", "1>Error: Unable to correct System Time.", "1>Disconnected."}));
    EXPECT_EQ(tray.lastTip(), "Error: Unable to correct System Time.");
    EXPECT_EQ(window.Correction->text(), "+ 5.00 s");
    EXPECT_EQ(systemTime.calls.back(), "privilege off SeSystemtimePrivilege");
    EXPECT_TRUE(window.btnConnect->isEnabled());
}

TEST_F(Showtime, AFailedPrivilegeCallIsLoggedUnnumberedAndTheChangeStillTried)
{
    systemTime.privilegeResult = platform::PrivilegeResult::Failed;
    TViewForm& window = openWith(true);
    window.showtime(timeAnswerOf(timestampOf(noon())));
    EXPECT_EQ(log(), (Lines{"1>Correcting System Time", ">Error: unable to use API call.", "1>Clock set to 12:00:00 PM",
                            ">Error: unable to use API call.", "1>Disconnected."}));
    EXPECT_EQ(systemTime.setRecords.size(), 1u);   // also when the clocks match
}

TEST_F(Showtime, MinimizeAfterTimeCheckHidesTheWindow)
{
    writeSettings("[ViewForm]\nAdjust=0\nAutoMinimize=1\n");
    TViewForm& window = open();
    window.show();
    window.showtime(timeAnswerOf(timestampOf(noon())));
    EXPECT_FALSE(window.isVisible());
}

} // namespace
} // namespace testing_support
