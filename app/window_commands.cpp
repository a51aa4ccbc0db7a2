// The command buttons, the tray menu and the Options page's small controls.
#include "app/autostart.h"
#include "app/settings.h"
#include "app/view_form.h"

#include "platform/exception.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>

#include <algorithm>

using namespace app;

int TViewForm::screenWidth() const
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry().width() : 0;
}

int TViewForm::centredLeft() const
{
    return screenWidth() / 2 - width() / 2;
}

// Centred again when first shown: the screen may have changed since the start.
void TViewForm::centreIfHiddenAtStart()
{
    if (!hiddenAtStart_)
        return;
    hiddenAtStart_ = false;
    move(centredLeft(), y());
}

void TViewForm::showForm()
{
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void TViewForm::btnExitClick()
{
    close();
}

void TViewForm::mnuExitClick()
{
    close();
}

void TViewForm::btnMinimizeClick()
{
    // Without a notification area the taskbar button is the way back.
    if (hasNotificationArea())
        hide();
    else
        showMinimized();
    if (Timer1)
        Timer1->stop();
}

void TViewForm::mnuPropertiesClick()
{
    centreIfHiddenAtStart();
    if (Timer1)
        Timer1->start();
    showForm();
}

void TViewForm::mnuSynchroClick()
{
    centreIfHiddenAtStart();
    showForm();
    TabbedNotebook1->setCurrentIndex(0);
    btnConnect->click();
    if (Timer1)
        Timer1->start();
}

void TViewForm::setTimeOutText(int seconds)
{
    TOEdit->setText(QString::number(seconds));
}

void TViewForm::TOEditChange()
{
    cli.SetTimeOut(ParseWholeNumber(TOEdit->text().toStdString()).value_or(0));
}

void TViewForm::SpinButton1UpClick()
{
    const int seconds = ParseWholeNumber(TOEdit->text().toStdString()).value_or(kTimeOutMin);
    setTimeOutText(std::min(seconds + kTimeOutStep, kTimeOutMax));
}

void TViewForm::SpinButton1DownClick()
{
    const int seconds = ParseWholeNumber(TOEdit->text().toStdString()).value_or(kTimeOutMin);
    setTimeOutText(std::max(seconds - kTimeOutStep, kTimeOutMin));
}

void TViewForm::chkRetryClick()
{
    if (chkRetry->isChecked()) {
        edtRetry->setEnabled(true);
        checkEngine_->setRetriesLeft(retriesAllowed());
    } else {
        checkEngine_->setRetriesLeft(0);
        edtRetry->setEnabled(false);
    }
}

void TViewForm::edtRetryChange()
{
    checkEngine_->setRetriesLeft(retriesAllowed());
}

void TViewForm::ComboServerChange()
{
    svrName->setText(ComboServer->currentText());
}

// The box shows what the session will do: when the entry cannot be written or
// removed it goes back, and the error is reported; the settings are untouched.
void TViewForm::chkAutostartClick()
{
    const bool wanted = chkAutostart->isChecked();
    const std::filesystem::path entry = AutostartEntryPath();
    if (wanted && ReadAutostartState(entry) == AutostartState::Foreign &&
        !platform::AskUser(ReplaceForeignEntryQuestion(entry), chkAutostart)) {
        chkAutostart->setChecked(false);
        return;
    }
    try {
        if (wanted)
            EnableAutostart(AutostartEntryPath(), services_.autostartProgram);
        else
            DisableAutostart(AutostartEntryPath());
    } catch (const Exception& error) {
        chkAutostart->setChecked(!wanted);
        platform::ShowException(error, chkAutostart);
    }
}
