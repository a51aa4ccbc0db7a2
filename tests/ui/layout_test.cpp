// The main window's layout: names, captions, places, initial states, tab order.
#include "ui/moon.h"
#include "ui/view_form_layout.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QPaintEvent>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <gtest/gtest.h>

namespace ui {
namespace {

void expectAt(const QWidget* widget, int left, int top, int width, int height)
{
    SCOPED_TRACE(widget->objectName().toStdString());
    EXPECT_EQ(widget->geometry(), QRect(left, top, width, height));
}

TEST(ViewFormLayout, WindowIsFixedWithoutMinimiseOrMaximiseBox)
{
    TViewFormLayout form;
    EXPECT_EQ(form.windowTitle(), "Tikora 2.0");
    EXPECT_EQ(form.size(), QSize(244, 303));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    EXPECT_FALSE(form.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(form.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(form.windowFlags() & Qt::WindowSystemMenuHint);
    EXPECT_EQ(form.pos(), QPoint(267, 143));
    EXPECT_FALSE(form.windowIcon().isNull());
    EXPECT_EQ(form.font().pointSize(), 8);
    EXPECT_EQ(QFontInfo(form.font()).family(), "Liberation Sans");
}

TEST(ViewFormLayout, FiveTabsFitWithoutScrollArrows)
{
    TViewFormLayout form;
    form.show();
    QTabWidget* book = form.TabbedNotebook1;
    ASSERT_EQ(book->count(), 5);
    const char* const captions[] = {"Status", "Sun", "Moon", "Options", "About"};
    int right = 0;
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(book->tabText(i), captions[i]);
        right = std::max(right, book->tabBar()->tabRect(i).right());
    }
    EXPECT_LT(right, 244);
    EXPECT_EQ(book->currentIndex(), 0);
    expectAt(book, 0, 0, 244, 265);
}

TEST(ViewFormLayout, CommandButtonsAndTheirTabOrder)
{
    TViewFormLayout form;
    expectAt(form.Panel3, 0, 272, 244, 31);
    expectAt(form.btnConnect, 8, 5, 57, 22);
    expectAt(form.btnStop, 65, 5, 57, 22);
    expectAt(form.btnMinimize, 122, 5, 57, 22);
    expectAt(form.btnExit, 179, 5, 57, 22);
    EXPECT_EQ(form.btnConnect->text(), "&Connect");
    EXPECT_EQ(form.btnStop->text(), "&Stop");
    EXPECT_EQ(form.btnMinimize->text(), "&Minimize");
    EXPECT_EQ(form.btnExit->text(), "E&xit");
    EXPECT_TRUE(form.btnConnect->isEnabled());
    EXPECT_FALSE(form.btnStop->isEnabled());
    EXPECT_EQ(form.btnConnect->nextInFocusChain(), form.btnMinimize);
    EXPECT_EQ(form.btnMinimize->nextInFocusChain(), form.btnExit);
    EXPECT_EQ(form.btnExit->nextInFocusChain(), form.btnStop);
}

TEST(ViewFormLayout, StatusPage)
{
    TViewFormLayout form;
    expectAt(form.Shape1, 19, 8, 198, 42);
    expectAt(form.Panel6, 31, 12, 174, 17);
    expectAt(form.Daytime, 31, 29, 174, 17);
    expectAt(form.GroupBox3, 8, 56, 220, 119);
    EXPECT_EQ(form.GroupBox3->title(), "Synchronization");
    expectAt(form.svrName, 18, 24, 183, 17);
    expectAt(form.svrTime, 80, 46, 121, 17);
    expectAt(form.lclTime, 80, 66, 121, 17);
    expectAt(form.Correction, 80, 87, 121, 17);
    EXPECT_EQ(form.Label6->text(), "Timestamp:  ");
    EXPECT_EQ(form.Label8->text(), "Local PC Time:");
    EXPECT_EQ(form.Label7->text(), "Correction:  ");
    EXPECT_EQ(form.ProgressBar1->parentWidget(), form.Correction);
    expectAt(form.ProgressBar1, 1, 1, 118, 14);
    EXPECT_TRUE(form.ProgressBar1->isHidden());
    EXPECT_EQ(form.ProgressBar1->value(), 0);
    EXPECT_EQ(form.ListBox1->count(), 0);
    EXPECT_EQ(form.ListBox1->focusPolicy(), Qt::NoFocus);
    form.show();
    EXPECT_EQ(form.ListBox1->height(), 53);
    EXPECT_EQ(form.ListBox1->geometry().bottom(), form.ListBox1->parentWidget()->height() - 1);
}

TEST(ViewFormLayout, SunAndMoonPagesShowTheirDesignCaptions)
{
    TViewFormLayout form;
    EXPECT_EQ(form.lblSunDist->text(), "lblSunDist");
    EXPECT_EQ(form.lblSunSub->text(), "lblSunSub");
    EXPECT_EQ(form.lblStandard->text(), "no daylight savings time!");
    EXPECT_EQ(form.lblDaylight->text(), "no daylight savings time!");
    EXPECT_EQ(form.GroupBox6->title(), " Daylight Savings ");
    for (QLabel* label : {form.lblAge, form.lblPhase, form.lblDist, form.lblEclLat, form.lblEclLong, form.lblMoonSub})
        EXPECT_EQ(label->text(), label->objectName());
    for (QLabel* label : {form.lblNewMoon, form.lblFQ, form.lblFullMoon, form.lblLQ, form.lblNNM})
        EXPECT_TRUE(label->text().isEmpty());
    EXPECT_EQ(form.lbl_nextnew->text(), "Next new moon:");
    expectAt(form.Moon, 174, 62, 32, 32);
    expectAt(form.btnNewMoons, 8, 214, 91, 17);
    expectAt(form.btnMeteor, 134, 214, 91, 17);
    EXPECT_EQ(form.btnNewMoons->text(), "Future moons..");
    EXPECT_EQ(form.btnMeteor->text(), "Meteor showers..");
}

TEST(ViewFormLayout, OptionsPageInitialStates)
{
    TViewFormLayout form;
    EXPECT_FALSE(form.chkStartMin->isChecked());
    EXPECT_FALSE(form.chkAutoConnect->isChecked());
    EXPECT_FALSE(form.chkExit->isChecked());
    EXPECT_FALSE(form.chkRetry->isChecked());
    EXPECT_TRUE(form.chkAdjust->isChecked());
    EXPECT_EQ(form.chkAdjust->text(), "&Adjust PC time on time-check");
    EXPECT_EQ(form.chkExit->text(), "Minimi&ze after time-check");
    EXPECT_EQ(form.edtRetry->text(), "3");
    EXPECT_FALSE(form.edtRetry->isEnabled());
    EXPECT_EQ(form.edtRetry->maxLength(), 3);
    EXPECT_EQ(form.TOEdit->text(), "10");
    EXPECT_TRUE(form.TOEdit->isReadOnly());
    EXPECT_EQ(form.TOEdit->maxLength(), 4);
    EXPECT_TRUE(form.ComboServer->isEditable());
    expectAt(form.ComboServer, 16, 30, 185, 21);
    expectAt(form.chkAdjust, 24, 100, 169, 17);
    expectAt(form.edtRetry, 128, 78, 25, 21);
    expectAt(form.TOEdit, 62, 58, 51, 21);
    expectAt(reinterpret_cast<QWidget*>(form.SpinButton1), 94, 60, 17, 17);
}

TEST(ViewFormLayout, AboutPageTexts)
{
    TViewFormLayout form;
    EXPECT_EQ(form.Label11->text(), "Tikora");
    EXPECT_EQ(form.Label11->font().pixelSize(), 48);
    EXPECT_EQ(form.Label1->text(), "v2.0");
    expectAt(form.Label3, 25, 107, 185, 30);
    EXPECT_TRUE(form.Label3->wordWrap());
    expectAt(form.Edit1, 44, 144, 148, 21);
    EXPECT_FALSE(form.Edit1->text().isEmpty());
}

// Records the layout requests and the painted areas that reach one widget.
class NotebookWatch : public QObject {
public:
    explicit NotebookWatch(QWidget* watched) { watched->installEventFilter(this); }
    int layoutRequests = 0;
    QRect painted;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::LayoutRequest)
            ++layoutRequests;
        else if (event->type() == QEvent::Paint)
            painted |= static_cast<QPaintEvent*>(event)->rect();
        return false;
    }
};

// The clock's caption changes every second: that must repaint its panel,
// not lay out and repaint the whole notebook (dozens of wake-ups a second).
TEST(ViewFormLayout, ANewPanelCaptionRepaintsOnlyThePanel)
{
    TViewFormLayout form;
    form.show();
    QCoreApplication::processEvents();
    for (QLabel* panel : {form.Panel6, form.lclTime, form.Correction}) {
        SCOPED_TRACE(panel->objectName().toStdString());
        NotebookWatch notebook(form.TabbedNotebook1);
        panel->setText(panel->text() + QStringLiteral(" and a much longer caption than before"));
        QCoreApplication::processEvents();
        EXPECT_EQ(notebook.layoutRequests, 0);
        const QRect panelArea(panel->mapTo(form.TabbedNotebook1, QPoint(0, 0)), panel->size());
        EXPECT_TRUE(notebook.painted.isEmpty() || panelArea.contains(notebook.painted))
            << "painted " << notebook.painted.x() << "," << notebook.painted.y() << " " << notebook.painted.width() << "x"
            << notebook.painted.height();
    }
}

TEST(ApplicationIcon, HasBothSizes)
{
    const QIcon icon = ApplicationIcon();
    EXPECT_EQ(icon.pixmap(16, 16).size(), QSize(16, 16));
    EXPECT_EQ(icon.pixmap(32, 32).size(), QSize(32, 32));
    EXPECT_EQ(QPixmap(":/HAND").size(), QSize(32, 32));
}

} // namespace
} // namespace ui
