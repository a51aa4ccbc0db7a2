// One time check as the window shows it: the check engine's numbered log, its
// gauge steps and tray tips, and the retries the Options page allows.
#include "app/settings.h"
#include "app/view_form.h"

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
    logNumbered(checkEngine_->checkNumber(), message);
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
        // Answered: the next run of retries starts from the full count.
        if (chkRetry->isChecked())
            checkEngine_->setRetriesLeft(retriesAllowed());
        showtime(result);
    };
    events.ended = [this](check::Outcome outcome, const check::Failure& failure) {
        if (outcome == check::Outcome::Failed && ntsExchangeAgain())
            return;
        setIdle();
        if (outcome == check::Outcome::Failed) {
            recorder_->failed(checkAsked(), failure.reason);
            endRetryRun();
        }
    };
    events.peerClosed = [this] { peerClosed(); };
    events.nextAttempt = [this] { btnConnect->click(); };
    checkEngine_->setEvents(std::move(events));
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
    const std::string servers = ComboServer->currentText().toStdString();
    if (startSeveralServers(servers))
        return;
    if (chosenProtocol() == app::TimeProtocol::Nts)
        startNtsCheck(servers);
    else
        checkEngine_->start(servers);
}

void TViewForm::btnStopClick()
{
    if (btnConnect->isEnabled())
        return;
    if (keyExchange_.running()) {
        // Stopped during the key exchange: the engine has not started yet.
        keyExchange_.cancel();
        logNumbered(checkEngine_->checkNumber() + 1, ">Disconnected.");
        checkEngine_->setCheckNumber(checkEngine_->checkNumber() + 1);
        setIdle();
        return;
    }
    stopSeveralServers();
    checkEngine_->stop(">Disconnected.");
}

// The server closed the connection of a running check: the retry count is
// reloaded, and the window minimised when the user asked for that.
void TViewForm::peerClosed()
{
    if (chkRetry->isChecked())
        checkEngine_->setRetriesLeft(retriesAllowed());
    if (chkExit->isChecked())
        btnMinimize->click();
}

int TViewForm::retriesAllowed() const
{
    return app::ParseWholeNumber(edtRetry->text().toStdString()).value_or(0);
}

// The run of retries is over: the next time-out starts a fresh one.
void TViewForm::endRetryRun()
{
    checkEngine_->endRetryRun(chkRetry->isChecked() ? retriesAllowed() : checkEngine_->retriesLeft());
}
