#include "cli/time_check.h"

#include "net/datagram_socket.h"
#include "net/sock_error.h"

#include <QTimer>

namespace cli {

TimeCheck::TimeCheck(TimeCheckOptions options, TimeCheckIo io)
    : options_(std::move(options)), io_(std::move(io))
{
    using namespace std::placeholders;
    // The protocol first: the port's service is looked up under it.
    cli.SetProtocol(options_.udp ? "udp" : "tcp");
    cli.SetPort(options_.port);
    cli.SetTimeOut(options_.timeOutSeconds);
    cli.OnInfo = [this](TSockCtrl* s, TSockInfo code, TSocketBase* socket) { cliInfo(s, code, socket); };
    cli.OnConnect = [this](TSockCtrl* s, TSocketBase* socket) { cliConnect(s, socket); };
    cli.OnRead = [this](TSockCtrl* s, TSocketBase* socket) { cliRead(s, socket); };
    cli.OnDisconnect = [this](TSockCtrl* s, TSocketBase* socket) { cliDisconnect(s, socket); };
    cli.OnTimeOut = [this](TSockCtrl* s, TSocketBase* socket) { cliTimeOut(s, socket); };
    retriesLeft = options_.retries;
}

void TimeCheck::start(std::function<void(Outcome)> finished)
{
    finished_ = std::move(finished);
    btnConnectClick();
}

void TimeCheck::log(const std::string& message)
{
    io_.log(std::to_string(checkNo) + message);
}

void TimeCheck::btnConnectClick()
{
    rcvCount = 0;
    cli.SetAddress(options_.host.substr(0, 255));
    ++checkNo;
    running_ = true;
    try {
        if (options_.udp) {
            cli.Open(SocketClassOf<TDatagramSocket>);
            // The request is an empty datagram; the answer must come in time.
            cli.CurrentSocket()->Write("", 0);
            cli.ArmTimeOut();
        } else {
            cli.Open(SocketClassOf<TStreamSocket>);
        }
    } catch (const std::exception& error) {
        // A time-out during the look-up has already ended this attempt (and
        // maybe posted the next): the look-up's own failure adds nothing.
        if (!running_)
            return;
        running_ = false;
        log(">Error: unable to create socket.");
        io_.detail(error.what());
        finish(Outcome::Failed);
    }
}

void TimeCheck::cliInfo(TSockCtrl*, TSockInfo icode, TSocketBase*)
{
    if (icode == siLookUp)
        log(">Looking up host");
    else if (icode == siConnect)
        log(">Connecting to " + cli.IPAddress());
}

void TimeCheck::cliConnect(TSockCtrl*, TSocketBase* socket)
{
    if (options_.udp)
        return;   // a datagram socket is connected at once; nothing to report
    rcvCount = 0;
    if (socket->LastError != 0) {
        // A refused or unreachable connection ends the check at once.
        const std::string reason = SocketErrorMessage(socket->LastError, ctxConnecting);
        running_ = false;
        log(">" + reason);
        finish(Outcome::Failed);
        return;
    }
    log(">Connected...");
    // The answer must come within the time-out too, or the check would wait for
    // a silent server for ever.
    cli.ArmTimeOut();
}

void TimeCheck::cliRead(TSockCtrl*, TSocketBase* socket)
{
    if (!running_ || !socket->IsConnected())
        return;   // the check is ending: leave late bytes unread
    log(">Reading time");
    try {
        collect(socket);
    } catch (const ESockError& error) {
        // A datagram's refusal comes back as a failed read.
        running_ = false;
        cli.DisarmTimeOut();
        log(std::string(">") + error.what());
        finish(Outcome::Failed);
    }
}

// Takes what has arrived of the four bytes; TCP may deliver them in pieces.
void TimeCheck::collect(TSocketBase* socket)
{
    if (options_.udp) {
        // One datagram is the whole answer; a short one cannot be completed.
        char datagram[512];
        const int received = socket->Read(datagram, sizeof datagram);
        if (received == 0 && socket->LastError == ws::WSAEWOULDBLOCK)
            return;
        if (received != 4) {
            resetcon(socket, "Error reading timestamp.");
            finish(Outcome::Failed);
            return;
        }
        std::copy(datagram, datagram + 4, rcvBuf.begin());
        rcvCount = 4;
        showtime();
        return;
    }
    const int received = socket->Read(reinterpret_cast<char*>(rcvBuf.data()) + rcvCount, 4 - rcvCount);
    rcvCount += received;
    if (rcvCount == 4)
        showtime();
}

void TimeCheck::cliDisconnect(TSockCtrl*, TSocketBase* socket)
{
    if (!running_)
        return;
    if (socket->IsConnected() && rcvCount < 4) {
        try {
            collect(socket);   // bytes that came with the close
        } catch (const ESockError&) {
            // Nothing more to read: what was received decides below.
        }
    }
    if (!running_)
        return;
    if (rcvCount == 0)
        resetcon(socket, ">Connection closed by host.");
    else
        resetcon(socket, "Error reading timestamp.");
    finish(Outcome::Failed);
}

void TimeCheck::cliTimeOut(TSockCtrl*, TSocketBase* socket)
{
    if (!running_)
        return;
    if (rcvCount > 0) {
        resetcon(socket, "Error reading timestamp.");
        finish(Outcome::Failed);
        return;
    }
    resetcon(socket, ">Connection timed out...");
    if (retriesLeft > 0) {
        ++attemptNo;
        log(">Attempt #" + std::to_string(attemptNo));
        --retriesLeft;
        // Posted, not nested: the time-out may fire inside a look-up of the
        // attempt that is ending, which must unwind before the next one opens.
        QTimer::singleShot(0, [this] { btnConnectClick(); });
        return;
    }
    finish(Outcome::Failed);
}

void TimeCheck::showtime()
{
    const ServerTimeOfDay server = ServerLocalTime(rcvBuf, io_.biasMinutes(), 0);
    const int local = io_.localSecondsOfDay();
    const Correction correction = CorrectionBetween(server.secondsOfDay(), local);
    resetcon(cli.CurrentSocket(), "");
    io_.result("Server time: " + io_.formatTime(server.secondsOfDay()));
    io_.result("Local time:  " + io_.formatTime(local));
    io_.result("Correction:  " + correction.caption);
    log(">Disconnected.");
    finish(Outcome::Completed);
}

void TimeCheck::resetcon(TSocketBase* socket, const std::string& message)
{
    running_ = false;
    cli.DisarmTimeOut();
    if (socket && socket->Handle != ws::INVALID_SOCKET) {
        SocketInUse inUse(socket);
        socket->Close();
    }
    if (!message.empty())
        log(message);
}

void TimeCheck::finish(Outcome outcome)
{
    if (outcome_ != Outcome::Running)
        return;
    outcome_ = outcome;
    if (finished_)
        finished_(outcome);
}

} // namespace cli
