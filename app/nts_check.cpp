// Authenticated time in the window: a key exchange before the first check
// of a server, its keys and cookies kept for the next one, and the check
// itself on the engine like any other. Nothing falls back to plain NTP.
#include "app/view_form.h"

#include <QCheckBox>
#include <QDateTime>
#include <QLineEdit>
#include <QPushButton>

void TViewForm::startNtsCheck(const std::string& host)
{
    ntsSessionKey_ = host + " " + services_.ntsPort;
    ntsFreshExchangeUsed_ = false;
    const auto kept = ntsSessions_.find(ntsSessionKey_);
    if (kept != ntsSessions_.end() && kept->second.usable()) {
        startNtsEngine();
        return;
    }
    ntsSessions_.erase(ntsSessionKey_);
    // The engine numbers the check when it starts; the exchange's lines come first.
    const int number = checkEngine_->checkNumber() + 1;
    setToolTip("Key exchange...");
    keyExchange_.start({host, services_.ntsPort, services_.ntsCaFile, cli.TimeOut(), {}},
                       [this, number](const std::string& line) { logNumbered(number, line); },
                       [this, number](const check::KeyExchangeOutcome& outcome) { ntsKeyExchangeDone(number, outcome); });
}

void TViewForm::ntsKeyExchangeDone(int number, const check::KeyExchangeOutcome& outcome)
{
    // Stopped meanwhile: the check is over and the window idle.
    if (btnConnect->isEnabled())
        return;
    if (!outcome.error.empty()) {
        logNumbered(number, ">Error: " + outcome.error + ".");
        setToolTip(outcome.error);
        const std::string host = ntsSessionKey_.substr(0, ntsSessionKey_.rfind(' '));
        recorder_->failed({QDateTime::currentMSecsSinceEpoch(), host, {}, "nts"}, outcome.error);
        // The engine never started: the check's number is used up all the same.
        checkEngine_->setCheckNumber(number);
        setIdle();
        endRetryRun();
        return;
    }
    ntsSessions_[ntsSessionKey_] = outcome.session;
    startNtsEngine();
}

void TViewForm::startNtsEngine()
{
    check::NtsSession& session = ntsSessions_[ntsSessionKey_];
    ntsProtocol_.setSession(&session);
    ntsProtocol_.clearNeedsKeyExchange();
    checkEngine_->configure(session.ntpPort, cli.TimeOut());
    checkEngine_->start(session.ntpHost);
}

// The engine ended a check: an authenticated NTSN, or cookies run out, costs
// one new key exchange, then the same check goes on under its number.
bool TViewForm::ntsExchangeAgain()
{
    if (checkEngine_->running() || !ntsProtocol_.needsKeyExchange() || ntsFreshExchangeUsed_)
        return false;
    ntsProtocol_.clearNeedsKeyExchange();
    ntsProtocol_.setSession(nullptr);
    ntsSessions_.erase(ntsSessionKey_);
    ntsFreshExchangeUsed_ = true;
    const std::string host = ntsSessionKey_.substr(0, ntsSessionKey_.rfind(' '));
    const int number = checkEngine_->checkNumber();
    checkEngine_->setCheckNumber(number - 1);
    btnConnect->setEnabled(false);
    btnStop->setEnabled(true);
    keyExchange_.start({host, services_.ntsPort, services_.ntsCaFile, cli.TimeOut(), {}},
                       [this, number](const std::string& line) { logNumbered(number, line); },
                       [this, number](const check::KeyExchangeOutcome& outcome) { ntsKeyExchangeDone(number, outcome); });
    return true;
}
