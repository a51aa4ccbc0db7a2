// One time check as the window shows it: the check engine's numbered log, its
// gauge steps and tray tips, and the retries the Options page allows.
#include "app/settings.h"
#include "app/view_form.h"

#include "net/sock_error.h"
#include "platform/messages.h"
#include "platform/gui/screen_cursor.h"
#include "ui/tray_icon.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

namespace {
constexpr int kGaugeStepLimit = 80;   // a step is taken only while the gauge is at most this
} // namespace

void TViewForm::log(const std::string& message)
{
    logNumbered(checkNo, message);
}

void TViewForm::logNumbered(int number, const std::string& message)
{
    ListBox1->addItem(QString::number(number) + QString::fromStdString(message));
    ListBox1->setCurrentRow(ListBox1->count() - 1);
}

void TViewForm::stepGauge(int amount)
{
    if (ProgressBar1->value() <= kGaugeStepLimit)
        ProgressBar1->setValue(ProgressBar1->value() + amount);
}

void TViewForm::setToolTip(const std::string& text)
{
    if (TrayIcon1)
        TrayIcon1->SetToolTip(text);
}

void TViewForm::setIdle()
{
    btnConnect->setEnabled(true);
    btnStop->setEnabled(false);
    services_.cursor.SetCursor(0);
    ProgressBar1->hide();
    mnuSynchro->setEnabled(true);
}

// The engine runs the check; the window shows what it reports.
void TViewForm::presentCheckEvents()
{
    check::CheckEvents events;
    events.log = [this](int number, const std::string& line) { logNumbered(number, line); };
    events.gauge = [this](int amount) { stepGauge(amount); };
    events.tip = [this](const std::string& tip) { setToolTip(tip); };
    events.attemptOver = [this] { setIdle(); };
    events.result = [this](const check::CheckResult& result) {
        if (result.ntp)
            showtime(*result.ntp);
        else
            showtime();
    };
    events.ended = [this](check::Outcome outcome) {
        setIdle();
        if (outcome == check::Outcome::Failed)
            endRetryRun();
    };
    events.nextAttempt = [this] { btnConnect->click(); };
    checkEngine_.setEvents(std::move(events));
}

void TViewForm::btnConnectClick()
{
    services_.cursor.SetCursor(1);
    lclTime->clear();
    svrTime->clear();
    Correction->clear();
    TabbedNotebook1->setCurrentIndex(0);
    btnConnect->setEnabled(false);
    btnStop->setEnabled(true);
    mnuSynchro->setEnabled(false);
    ProgressBar1->show();
    ProgressBar1->setValue(0);
    useChosenProtocol();
    checkEngine_.start(ComboServer->currentText().toStdString());
}

void TViewForm::btnStopClick()
{
    if (!btnConnect->isEnabled())
        resetcon(cli.CurrentSocket(), ">Disconnected.");
}

void TViewForm::cliInfo(TSockCtrl* Sender, TSockInfo icode, TSocketBase* Socket)
{
    checkEngine_.cliInfo(Sender, icode, Socket);
}

void TViewForm::cliConnect(TSockCtrl* Sender, TSocketBase* Socket)
{
    checkEngine_.cliConnect(Sender, Socket);
}

void TViewForm::cliRead(TSockCtrl* Sender, TSocketBase* Socket)
{
    checkEngine_.cliRead(Sender, Socket);
}

void TViewForm::cliDisconnect(TSockCtrl* Sender, TSocketBase* Socket)
{
    if (Socket != cli.CurrentSocket())
        return;   // a socket of an earlier check
    checkEngine_.cliDisconnect(Sender, Socket);
    if (chkRetry->isChecked())
        retriesLeft = app::ParseWholeNumber(edtRetry->text().toStdString()).value_or(0);
    if (chkExit->isChecked())
        btnMinimize->click();
}

void TViewForm::cliTimeOut(TSockCtrl* Sender, TSocketBase* Socket)
{
    checkEngine_.cliTimeOut(Sender, Socket);
}

// The run of retries is over: the next time-out starts a fresh one.
void TViewForm::endRetryRun()
{
    attemptNo = 1;
    if (chkRetry->isChecked())
        retriesLeft = app::ParseWholeNumber(edtRetry->text().toStdString()).value_or(0);
}

void TViewForm::resetcon(TSocketBase* Socket, const std::string& message)
{
    checkEngine_.resetcon(Socket, message);   // the engine's attemptOver sets the window idle
}
