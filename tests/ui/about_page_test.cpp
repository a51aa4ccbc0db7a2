// The About page: the navy-to-green gradient behind the white titles.
#include "ui/gradient.h"
#include "ui/view_form_layout.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <gtest/gtest.h>

namespace ui {
namespace {

TEST(AboutPage, GradientFillsThePageBehindTheTitles)
{
    TViewFormLayout form;
    form.show();
    form.TabbedNotebook1->setCurrentIndex(4);
    QCoreApplication::processEvents();
    QWidget* page = form.TabbedNotebook1->widget(4);
    EXPECT_EQ(form.Gradient1->geometry(), page->rect());
    EXPECT_EQ(form.Gradient1->ColorStart(), clNavy);
    EXPECT_EQ(form.Gradient1->ColorEnd(), clGreen);
    EXPECT_EQ(form.Gradient1->Direction(), gdUpDown);
    EXPECT_FALSE(form.Gradient1->Swap());

    const QImage shot = page->grab().toImage();
    // Top row: the third band (bands 0 to 2 all start at row 0); bottom row green.
    const TColor third = form.Gradient1->ColorTable()[2];
    EXPECT_EQ(shot.pixelColor(0, 0), QColor(third & 0xFF, third >> 8 & 0xFF, third >> 16 & 0xFF));
    EXPECT_EQ(shot.pixelColor(120, page->height() - 1), QColor(0, 128, 0));
    // Around the title's letters the gradient shows through; the letters are white.
    const QRect title = form.Label11->geometry();
    bool white = false;
    for (int y = title.top(); y <= title.bottom() && !white; ++y)
        for (int x = title.left(); x <= title.right() && !white; ++x)
            white = shot.pixelColor(x, y) == QColor(Qt::white);
    EXPECT_TRUE(white);
    const QColor corner = shot.pixelColor(title.topLeft() + QPoint(1, 1));
    EXPECT_EQ(corner.red(), 0);
    EXPECT_LE(corner.green(), 40);
    EXPECT_GE(corner.blue(), 100);
}

// Finished when first seen, as the page starts hidden: the same page as ever.
TEST(AboutPage, OnceSeenTheAddressIsBoldAndTheVersionFits)
{
    TViewFormLayout form;
    form.show();
    form.TabbedNotebook1->setCurrentIndex(4);
    QCoreApplication::processEvents();
    EXPECT_TRUE(form.Edit1->font().bold());
    EXPECT_GE(form.Label1->width(), form.Label1->sizeHint().width());
    EXPECT_EQ(form.Label1->font().pixelSize(), 19);
}

} // namespace
} // namespace ui
