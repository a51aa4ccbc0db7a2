// The History window's entries and the checks that repeat by themselves.
#include "app/history_view.h"
#include "app/repeat_checks.h"
#include "app/view_form.h"

#include "check/kiss_store.h"
#include "history/history_store.h"

#include <QAction>
#include <QComboBox>
#include <QDateTime>
#include <QNetworkInformation>
#include <QPushButton>

void TViewForm::setUpHistoryAndRepeats()
{
    historyView_ = std::make_unique<app::HistoryView>();
    // Reachable from the window without moving any control: Ctrl+H, and its
    // context menu (a right click where no control has a menu of its own).
    actHistory = new QAction(QStringLiteral("&History..."), this);
    actHistory->setObjectName(QStringLiteral("actHistory"));
    actHistory->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    actHistory->setShortcutContext(Qt::WindowShortcut);
    addAction(actHistory);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(actHistory, &QAction::triggered, this, &TViewForm::mnuHistoryClick);
    connect(mnuHistory, &QAction::triggered, this, &TViewForm::mnuHistoryClick);

    app::RepeatHooks hooks;
    hooks.nowUnixMs = [] { return QDateTime::currentMSecsSinceEpoch(); };
    hooks.checkRunning = [this] { return CheckRunning() || !btnConnect->isEnabled(); };
    hooks.serverHeldBack = [this] {
        if (!services_.kissStore)
            return false;
        const std::string& port = chosenProtocol() == app::TimeProtocol::Ntp ? services_.ntpPort : services_.timePort;
        return services_.kissStore->heldBack(ComboServer->currentText().toStdString(), port,
                                             QDateTime::currentSecsSinceEpoch())
            .has_value();
    };
    // As Connect: the same engine, the same rules for the clock.
    hooks.startCheck = [this] {
        if (btnConnect->isEnabled())
            btnConnect->click();
    };
    repeatChecks_ = std::make_unique<app::RepeatChecks>(repeatScheduler_, std::move(hooks));
    // Every check counts, asked or repeated: the next repeat is an interval after it.
    connect(btnConnect, &QPushButton::clicked, this, [this] { repeatChecks_->checkStarted(); });
    connect(ComboRepeat, &QComboBox::currentIndexChanged, this, &TViewForm::ComboRepeatChange);
    ComboRepeatChange();
}

void TViewForm::mnuHistoryClick()
{
    historyView_->open(history::DefaultHistoryPath(), QDateTime::currentMSecsSinceEpoch());
}

int TViewForm::repeatHoursShown() const
{
    return ComboRepeat->currentIndex() > 0 ? ComboRepeat->currentIndex() : 0;
}

void TViewForm::setRepeatHoursShown(int hours)
{
    ComboRepeat->setCurrentIndex(hours >= app::kRepeatHoursMin && hours <= app::kRepeatHoursMax ? hours : 0);
}

void TViewForm::ComboRepeatChange()
{
    if (!repeatChecks_)
        return;
    const int hours = repeatHoursShown();
    if (hours > 0)
        watchNetwork();
    repeatChecks_->setEveryHours(hours);
}

// The network's state from the system (NetworkManager or GLib's monitor,
// whichever Qt's network information loads) when Qt can ask it;
// otherwise it counts as up and a check that finds it down simply fails, the
// next one coming an interval later. Asked only once repeating is on: the
// backend costs a bus connection the start-up need not pay.
void TViewForm::watchNetwork()
{
    if (watchingNetwork_)
        return;
    watchingNetwork_ = true;
    if (!QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability))
        return;
    QNetworkInformation* network = QNetworkInformation::instance();
    if (!network)
        return;
    auto apply = [this](QNetworkInformation::Reachability reachability) {
        repeatChecks_->setNetworkUp(reachability != QNetworkInformation::Reachability::Disconnected);
    };
    connect(network, &QNetworkInformation::reachabilityChanged, this, apply);
    apply(network->reachability());
}
