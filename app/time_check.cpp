// One time check: Connect to the end of the check, with the numbered log, the
// gauge, the tray tips and the retries after a time-out.
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
constexpr int kGaugeStepInfo = 15;
constexpr int kGaugeStep = 20;
constexpr int kGaugeStepLimit = 80;   // a step is taken only while the gauge is at most this
} // namespace

void TViewForm::log(const std::string& message)
{
    ListBox1->addItem(QString::number(checkNo) + QString::fromStdString(message));
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

void TViewForm::btnConnectClick()
{
    services_.cursor.SetCursor(1);
    lclTime->clear();
    svrTime->clear();
    Correction->clear();
    TabbedNotebook1->setCurrentIndex(0);
    rcvCount = 0;
    cli.SetAddress(ComboServer->currentText().toStdString().substr(0, 255));
    btnConnect->setEnabled(false);
    btnStop->setEnabled(true);
    mnuSynchro->setEnabled(false);
    ProgressBar1->show();
    ProgressBar1->setValue(0);
    ++checkNo;
    checkRunning_ = true;
    try {
        cli.Open(SocketClassOf<TStreamSocket>);
    } catch (const std::exception&) {
        // A time-out or Stop during the look-up has already ended this check
        // (and maybe posted the next), or the program is quitting: the
        // look-up's own failure adds nothing.
        if (!checkRunning_ || platform::ApplicationTerminating()) {
            checkRunning_ = false;
            return;
        }
        checkRunning_ = false;
        log(">Error: unable to create socket.");
        setToolTip("Error: unable to create socket.");
        setIdle();
        return;
    }
    // Ended while the look-up waited, yet the connection was started: drop it.
    if (!checkRunning_ && cli.CurrentSocket() && cli.CurrentSocket()->Handle != ws::INVALID_SOCKET) {
        SocketInUse inUse(cli.CurrentSocket());
        cli.CurrentSocket()->Close();
    }
}

void TViewForm::btnStopClick()
{
    if (!btnConnect->isEnabled())
        resetcon(cli.CurrentSocket(), ">Disconnected.");
}

void TViewForm::cliInfo(TSockCtrl*, TSockInfo icode, TSocketBase*)
{
    // After the check's ending line (Stop, time-out) nothing more is logged.
    if (!checkRunning_)
        return;
    if (icode == siLookUp)
        log(">Looking up host");
    else if (icode == siConnect)
        log(">Connecting to " + cli.IPAddress());
    stepGauge(kGaugeStepInfo);
}

void TViewForm::cliConnect(TSockCtrl*, TSocketBase* Socket)
{
    if (!checkRunning_)
        return;
    rcvCount = 0;
    if (Socket->LastError != 0) {
        // Refused or unreachable: the check ends here rather than waiting for Stop.
        const std::string reason = SocketErrorMessage(Socket->LastError, ctxConnecting);
        resetcon(Socket, ">" + reason);
        setToolTip(reason);
        stepGauge(kGaugeStep);
        endRetryRun();
        return;
    }
    try {
        log(">Connected...");
        stepGauge(kGaugeStep);
        setToolTip("Connected...");
        // The answer must come within the time-out too, or a silent server
        // would keep the check running for ever.
        cli.ArmTimeOut();
    } catch (const ESockError&) {
        resetcon(Socket, ">Connection closed by host.");
        setToolTip("Connection closed by host.");
        stepGauge(kGaugeStep);
        ProgressBar1->hide();
    }
}

void TViewForm::cliRead(TSockCtrl*, TSocketBase* Socket)
{
    if (!checkRunning_ || !Socket->IsConnected())
        return;   // the check is ending: late bytes stay unread
    log(">Reading time");
    stepGauge(kGaugeStep);
    setToolTip("Reading time..");
    collect(Socket);
}

// Takes what has arrived of the four bytes: they may come in pieces.
void TViewForm::collect(TSocketBase* Socket)
{
    int received = 0;
    try {
        received = Socket->Read(reinterpret_cast<char*>(rcvBuf.data()) + rcvCount, 4 - rcvCount);
    } catch (const ESockError& error) {
        resetcon(Socket, std::string(">") + error.what());
        setToolTip(error.what());
        endRetryRun();
        return;
    }
    rcvCount += received;
    if (rcvCount == 4)
        showtime();
}

void TViewForm::cliDisconnect(TSockCtrl*, TSocketBase* Socket)
{
    if (Socket != cli.CurrentSocket())
        return;   // a socket of an earlier check
    if (checkRunning_ && Socket->IsConnected() && rcvCount < 4)
        collect(Socket);   // bytes that came with the close
    if (checkRunning_) {
        if (rcvCount == 0) {
            resetcon(Socket, ">Connection closed by host.");
            setToolTip("Connection closed by host.");
        } else {
            resetcon(Socket, "Error reading timestamp.");
        }
    }
    resetcon(Socket, "");
    if (chkRetry->isChecked())
        retriesLeft = app::ParseWholeNumber(edtRetry->text().toStdString()).value_or(0);
    if (chkExit->isChecked())
        btnMinimize->click();
    attemptNo = 1;
}

void TViewForm::cliTimeOut(TSockCtrl*, TSocketBase* Socket)
{
    if (!checkRunning_)
        return;
    if (rcvCount > 0) {
        resetcon(Socket, "Error reading timestamp.");
        endRetryRun();
        return;
    }
    resetcon(Socket, ">Connection timed out...");
    setToolTip("Connection timed out...");
    stepGauge(kGaugeStep);
    if (retriesLeft > 0) {
        ++attemptNo;
        log(">Attempt #" + std::to_string(attemptNo));
        --retriesLeft;
        // Posted, not nested: the time-out may fire inside the look-up of the
        // check that is ending, which must unwind before the next one opens.
        QTimer::singleShot(0, btnConnect, &QPushButton::click);
        return;
    }
    endRetryRun();
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
    checkRunning_ = false;
    cli.DisarmTimeOut();
    if (Socket && Socket->Handle != ws::INVALID_SOCKET) {
        SocketInUse inUse(Socket);
        Socket->Close();
    }
    if (!message.empty())
        log(message);
    setIdle();
}
