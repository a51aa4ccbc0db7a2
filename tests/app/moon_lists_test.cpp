// The Moon page's two list buttons and the list dialog they open.
#include "app/window_fixture.h"
#include "ui/moon_form.h"

#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>

#include <array>

namespace testing_support {
namespace {

class MoonLists : public WindowTest {
protected:
    TViewForm& openIn(int year)
    {
        setLocalNow(QDateTime(QDate(year, 6, 15), QTime(12, 0), QTimeZone::utc()));
        TViewForm& window = open();
        dialog = std::make_unique<ui::TMoonForm>();
        window.MoonForm = dialog.get();
        return window;
    }
    static QStringList lines(const QPlainTextEdit* memo)
    {
        const QString text = memo->toPlainText();
        return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
    }

    std::unique_ptr<ui::TMoonForm> dialog;   // outlives the window, as in the program
};

TEST_F(MoonLists, FutureMoonsOfTheYear)
{
    TViewForm& window = openIn(1997);
    window.btnNewMoons->click();
    EXPECT_EQ(window.NewMoonsClicks, 1);
    const QStringList moons = lines(dialog->Memo2);
    ASSERT_EQ(moons.size(), 29);
    EXPECT_EQ(moons[0], "12/10/1996 - New Moon");
    EXPECT_EQ(moons[1], "12/24/1996 - Full Moon");
    EXPECT_EQ(moons[2], "1/8/1997 - New Moon");
    EXPECT_EQ(moons[26], "12/29/1997 - New Moon");
    EXPECT_EQ(moons[28], "1/27/1998 - New Moon");
    EXPECT_TRUE(lines(dialog->Memo1).isEmpty());

    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(dialog->Memo2->isVisible());
    EXPECT_FALSE(dialog->Memo1->isVisible());
    EXPECT_EQ(dialog->windowTitle(), "New and Full Moons");
    EXPECT_EQ(dialog->height(), 320 - ui::kMoonFormFrameHeight);
    EXPECT_EQ(dialog->width(), 184);
    EXPECT_EQ(dialog->Button1->geometry(), QRect(61, 266, 57, 22));
    // Longer than the box: it opens at the first line.
    QCoreApplication::processEvents();
    EXPECT_GT(dialog->Memo2->verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(dialog->Memo2->verticalScrollBar()->value(), 0);
}

TEST_F(MoonLists, MeteorShowersOfTheYear)
{
    TViewForm& window = openIn(1997);
    window.btnMeteor->click();
    EXPECT_EQ(window.MeteorClicks, 1);
    const QStringList showers = lines(dialog->Memo1);
    ASSERT_EQ(showers.size(), 9);
    EXPECT_EQ(showers[0], "1/3/1997  -  Quadrantids");
    EXPECT_EQ(showers[4], "8/12/1997  -  Perseids");
    EXPECT_EQ(showers[8], "12/13/1997  -  Geminids");
    EXPECT_TRUE(lines(dialog->Memo2).isEmpty());

    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(dialog->Memo1->isVisible());
    EXPECT_FALSE(dialog->Memo2->isVisible());
    EXPECT_EQ(dialog->windowTitle(), "Meteor Showers");
    EXPECT_EQ(dialog->height(), 186 - ui::kMoonFormFrameHeight);
    EXPECT_EQ(dialog->width(), 184);
    EXPECT_EQ(dialog->Button1->geometry(), QRect(61, 134, 57, 22));
    // The close button stays inside the shorter dialog.
    EXPECT_LE(dialog->Button1->geometry().bottom(), dialog->height());
}

TEST_F(MoonLists, FarFromTheFiftiesThreeShowersAreLeftOut)
{
    TViewForm& window = openIn(2100);
    window.btnMeteor->click();
    const QStringList showers = lines(dialog->Memo1);
    ASSERT_EQ(showers.size(), 6);
    for (const QString& line : showers) {
        EXPECT_FALSE(line.endsWith("Quadrantids")) << line.toStdString();
        EXPECT_FALSE(line.endsWith("Delta Aquarids")) << line.toStdString();
        EXPECT_FALSE(line.endsWith("Geminids")) << line.toStdString();
    }
    EXPECT_TRUE(showers[0].endsWith("/2100  -  Lyrids")) << showers[0].toStdString();
}

TEST_F(MoonLists, LaterClicksShowTheFirstListAgain)
{
    TViewForm& window = openIn(1997);
    window.btnNewMoons->click();
    window.btnMeteor->click();
    dialog->Button1->click();
    EXPECT_FALSE(dialog->isVisible());

    // A new year meanwhile changes nothing: each list is made once.
    setLocalNow(QDateTime(QDate(1998, 1, 2), QTime(9, 0), QTimeZone::utc()));
    window.btnNewMoons->click();
    window.btnNewMoons->click();
    window.btnMeteor->click();
    EXPECT_EQ(window.NewMoonsClicks, 3);
    EXPECT_EQ(window.MeteorClicks, 2);
    EXPECT_EQ(lines(dialog->Memo2).size(), 29);
    EXPECT_EQ(lines(dialog->Memo2).first(), "12/10/1996 - New Moon");
    EXPECT_EQ(lines(dialog->Memo1).size(), 9);
    EXPECT_EQ(lines(dialog->Memo1).first(), "1/3/1997  -  Quadrantids");
}

TEST_F(MoonLists, SwitchingListsWhileOpenSwapsEverything)
{
    TViewForm& window = openIn(1997);
    window.btnMeteor->click();
    window.btnNewMoons->click();
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(dialog->Memo2->isVisible());
    EXPECT_FALSE(dialog->Memo1->isVisible());
    EXPECT_EQ(dialog->windowTitle(), "New and Full Moons");
    EXPECT_EQ(dialog->height(), 320 - ui::kMoonFormFrameHeight);
    EXPECT_EQ(dialog->Button1->y(), 266);

    window.btnMeteor->click();
    EXPECT_TRUE(dialog->Memo1->isVisible());
    EXPECT_FALSE(dialog->Memo2->isVisible());
    EXPECT_EQ(dialog->windowTitle(), "Meteor Showers");
    EXPECT_EQ(dialog->height(), 186 - ui::kMoonFormFrameHeight);
    EXPECT_EQ(dialog->Button1->y(), 134);
}

TEST_F(MoonLists, JtoDGivesTheDateOfAJulianDayNumber)
{
    TViewForm& window = openIn(1997);
    int month = 0, day = 0, year = 0;
    window.JtoD(2451545, month, day, year);
    EXPECT_EQ((std::array{month, day, year}), (std::array{1, 1, 2000}));
}

} // namespace
} // namespace testing_support
