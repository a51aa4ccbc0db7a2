#include "ui/moon_form.h"

#include "astro/yearly_lists.h"
#include "ui/controls.h"
#include "ui/view_form_layout.h"

#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>

namespace ui {

TMoonForm::TMoonForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("MoonForm"));
    setWindowTitle(QStringLiteral("New and Full Moons"));
    setWindowIcon(ApplicationIcon());
    setFont(DesignFont());
    // Fixed, as designed: no resizing, no maximising.
    setFixedSize(kMoonFormWidth, kMoonFormHeight);
    move(422, 129);
    QPalette background = palette();
    background.setColor(QPalette::Window, kNavy);
    setPalette(background);
    setAutoFillBackground(true);

    Button1 = Place(new QPushButton(QStringLiteral("&Close"), this), "Button1", 61, 266, 57, 22);
    Memo1 = Place(new QPlainTextEdit(this), "Memo1", 4, 4, 176, 125);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Memo2 = Place(new QPlainTextEdit(this), "Memo2", 4, 4, 176, 254);
    Memo2->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo2->setLineWrapMode(QPlainTextEdit::NoWrap);
    for (QPlainTextEdit* memo : {Memo1, Memo2}) {
        memo->setReadOnly(true);
        memo->hide();
    }
    Button1->setFocus();

    connect(Button1, &QPushButton::clicked, this, &TMoonForm::Button1Click);
}

void TMoonForm::Button1Click()
{
    close();
}

namespace {

void AppendLines(QPlainTextEdit* memo, const std::vector<std::string>& lines)
{
    for (const std::string& line : lines)
        memo->appendPlainText(QString::fromStdString(line));
    // Appending follows the text down; a list is read from its first line.
    memo->moveCursor(QTextCursor::Start);
    memo->ensureCursorVisible();
}

} // namespace

void TMoonForm::NewMoons(int year)
{
    AppendLines(Memo2, astro::NewMoons(year));
}

void TMoonForm::meteor(int year)
{
    AppendLines(Memo1, astro::meteor(year));
}

void TMoonForm::SetOuterHeight(int outerHeight)
{
    setFixedSize(width(), outerHeight - kMoonFormFrameHeight);
}

} // namespace ui
