// The Protocol choice on the Options page: which built-in servers the
// drop-down offers, and which protocol the next check speaks.
#include "app/view_form.h"

#include <QComboBox>
#include <QLabel>
#include <QSignalBlocker>

using app::TimeProtocol;

namespace {
// The items of the Protocol box, in order.
constexpr int kTimeItem = 0;
constexpr int kNtpItem = 1;
constexpr int kNtsItem = 2;
} // namespace

TimeProtocol TViewForm::chosenProtocol() const
{
    switch (ComboProtocol->currentIndex()) {
    case kNtpItem: return TimeProtocol::Ntp;
    case kNtsItem: return TimeProtocol::Nts;
    default: return TimeProtocol::Time;
    }
}

// As the settings file gives it: the server read with it was not picked from
// the other protocol's list, so it stays as it is.
void TViewForm::setChosenProtocol(TimeProtocol protocol)
{
    {
        const QSignalBlocker quiet(ComboProtocol);
        ComboProtocol->setCurrentIndex(protocol == TimeProtocol::Ntp   ? kNtpItem
                                       : protocol == TimeProtocol::Nts ? kNtsItem
                                                                       : kTimeItem);
    }
    listServers(protocol);
}

// Refilling the box passes through an empty box and its first item: neither
// is a server the user chose, so the box's text is put back afterwards (the
// first fill has none to put back and shows the first item).
void TViewForm::listServers(TimeProtocol protocol)
{
    {
        const QSignalBlocker quiet(ComboServer);
        const QString shown = ComboServer->currentText();
        ComboServer->clear();
        for (const char* server : app::ServersFor(protocol))
            ComboServer->addItem(QString::fromLatin1(server));
        if (!shown.isEmpty())
            ComboServer->setEditText(shown);
    }
    listedProtocol_ = protocol;
}

void TViewForm::ComboProtocolChange()
{
    const TimeProtocol chosen = chosenProtocol();
    if (chosen == listedProtocol_)
        return;
    const std::string server =
        app::ServerAfterProtocolChange(ComboServer->currentText().toStdString(), listedProtocol_, chosen);
    listServers(chosen);
    ComboServer->setEditText(QString::fromStdString(server));
    ComboServerChange();
}

// A check keeps the protocol and time-out it started with; the choice applies to the next.
void TViewForm::useChosenProtocol()
{
    if (CheckRunning())
        return;
    const TimeProtocol chosen = chosenProtocol();
    if (chosen == TimeProtocol::Nts) {
        // The port is the one the key exchange names, set when it is known.
        checkEngine_->setProtocol(ntsProtocol_);
        return;
    }
    const bool ntp = chosen == TimeProtocol::Ntp;
    checkEngine_->setProtocol(ntp ? static_cast<check::CheckProtocol&>(ntpProtocol_) : timeProtocol_);
    checkEngine_->configure(ntp ? services_.ntpPort : services_.timePort, cli.TimeOut());
}
