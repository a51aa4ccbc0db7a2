#include "ui/view_form_layout.h"

#include "ui/compact_tab_style.h"
#include "ui/controls.h"

#include <QFrame>
#include <QIcon>
#include <QPixmap>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>

// Outside any namespace, as the resource initialiser requires.
static void initResources()
{
    Q_INIT_RESOURCE(tikora);
    Q_INIT_RESOURCE(moon);
}

namespace ui {

// Made once: the program, the window and the dialog all show it. Pixmaps of a
// named format: QIcon::addFile reads each file and asks the MIME database
// what it is before the window can be shown.
QIcon ApplicationIcon()
{
    static const QIcon icon = [] {
        initResources();
        QIcon made;
        made.addPixmap(QPixmap(QStringLiteral(":/MAINICON-16"), "PNG"));
        made.addPixmap(QPixmap(QStringLiteral(":/MAINICON-32"), "PNG"));
        return made;
    }();
    return icon;
}

TViewFormLayout::TViewFormLayout(QWidget* parent, const platform::SystemClock* clock)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("ViewForm"));
    setWindowTitle(QStringLiteral("Tikora 2.0"));
    setWindowIcon(ApplicationIcon());
    setFont(DesignFont());
    setFixedSize(kViewFormWidth, kViewFormHeight);
    move(kViewFormDesignLeft, kViewFormDesignTop);

    TabbedNotebook1 = Place(new QTabWidget(this), "TabbedNotebook1", 0, 0, 244, 265);
    auto* tabStyle = new CompactTabStyle;
    tabStyle->setParent(TabbedNotebook1);
    TabbedNotebook1->tabBar()->setStyle(tabStyle);
    TabbedNotebook1->setUsesScrollButtons(false);
    TabbedNotebook1->setElideMode(Qt::ElideNone);
    const char* const pages[] = {"Status", "Sun", "Moon", "Options", "About"};
    for (const char* caption : pages) {
        auto* page = new QWidget;
        page->setObjectName(QString::fromLatin1(caption));
        TabbedNotebook1->addTab(page, QString::fromLatin1(caption));
    }
    buildStatusPage(TabbedNotebook1->widget(0));
    buildSunPage(TabbedNotebook1->widget(1));
    buildMoonPage(TabbedNotebook1->widget(2), clock);
    buildOptionsPage(TabbedNotebook1->widget(3));
    buildAboutPage(TabbedNotebook1->widget(4));
    TabbedNotebook1->setCurrentIndex(0);
    buildCommandRow();
}

void TViewFormLayout::buildCommandRow()
{
    Panel3 = Place(new QFrame(this), "Panel3", 0, 272, 244, 31);
    Panel3->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    btnConnect = Place(new QPushButton(QStringLiteral("&Connect"), Panel3), "btnConnect", 8, 5, 57, 22);
    btnStop = Place(new QPushButton(QStringLiteral("&Stop"), Panel3), "btnStop", 65, 5, 57, 22);
    btnMinimize = Place(new QPushButton(QStringLiteral("&Minimize"), Panel3), "btnMinimize", 122, 5, 57, 22);
    btnExit = Place(new QPushButton(QStringLiteral("E&xit"), Panel3), "btnExit", 179, 5, 57, 22);
    btnStop->setEnabled(false);
    for (QPushButton* button : {btnConnect, btnStop, btnMinimize, btnExit})
        button->setAutoDefault(false);
    setTabOrder(btnConnect, btnMinimize);
    setTabOrder(btnMinimize, btnExit);
    setTabOrder(btnExit, btnStop);
}

} // namespace ui
