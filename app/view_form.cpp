#include "app/view_form.h"

#include "app/history_view.h"
#include "app/repeat_checks.h"
#include "app/time_servers.h"

#include "check/network_transport.h"
#include "platform/gui/notify_icon.h"
#include "platform/gui/taskbar.h"
#include "platform/private_profile.h"
#include "ui/spin_button.h"
#include "ui/tray_icon.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

TViewForm::TViewForm(const ViewFormServices& services, QWidget* parent)
    : ui::TViewFormLayout(parent, &services.clock),
      ntpProtocol_(services.preciseClock ? *services.preciseClock : systemPreciseClock_, 1),
      ntsProtocol_(services.preciseClock ? *services.preciseClock : systemPreciseClock_, aead_, 1),
      services_(services)
{
    check::Transport* transport = services_.transport;
    if (!transport) {
        ownTransport_ = check::MakeNetworkTransport();
        transport = ownTransport_.get();
    }
    checkEngine_ = std::make_unique<check::CheckEngine>(*transport, scheduler_, timeProtocol_);
    checkEngine_->configure(services_.timePort, 10);
    checkEngine_->rememberKissesIn(services_.kissStore, [] { return QDateTime::currentSecsSinceEpoch(); });
    if (services_.earliestServerTime)
        checkEngine_->refuseServerTimesBefore(*services_.earliestServerTime);
    // A failed raise or lower of the right is its own unnumbered line.
    clockService_ = std::make_unique<platform::SystemClockService>(services_.systemTime, services_.timeDate, [this] {
        ListBox1->addItem(QStringLiteral(">Error: unable to use API call."));
        ListBox1->setCurrentRow(ListBox1->count() - 1);
    });
    recorder_ = std::make_unique<app::CheckRecorder>(
        services_.history, [this](const std::string& problem) { reportHistoryProblem(problem); });
    createComponents();
    connectHandlers();
    FormCreate();
    setUpHistoryAndRepeats();
}

// The engine goes first: its transport may still report while it closes.
TViewForm::~TViewForm() = default;

void TViewForm::createComponents()
{
    listServers(app::TimeProtocol::Time);
    ComboServer->setCurrentIndex(0);
    svrName->setText(ComboServer->currentText());

    // Only the time-out is the client's now: the engine is given the port, and
    // setting it here would look the service up for nothing at every start.
    cli.SetTimeOut(10);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    mnuSynchro = PopupMenu1->addAction(QStringLiteral("&Connect..."));
    mnuProperties = PopupMenu1->addAction(QStringLiteral("&Properties"));
    mnuHistory = PopupMenu1->addAction(QStringLiteral("&History..."));
    mnuExit = PopupMenu1->addAction(QStringLiteral("E&xit"));

    // As a stored form gives them: Active first, so the tip follows by message.
    TrayIcon1 = new ui::TTrayIcon(services_.notificationArea, this);
    TrayIcon1->setObjectName(QStringLiteral("TrayIcon1"));
    TrayIcon1->SetActive(true);
    TrayIcon1->SetIcon(windowIcon());
    TrayIcon1->SetToolTip("Tikora 2.0");
    TrayIcon1->SetPopupMenu(PopupMenu1);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
}

void TViewForm::connectHandlers()
{
    connect(btnConnect, &QPushButton::clicked, this, &TViewForm::btnConnectClick);
    connect(btnStop, &QPushButton::clicked, this, &TViewForm::btnStopClick);
    connect(btnMinimize, &QPushButton::clicked, this, &TViewForm::btnMinimizeClick);
    connect(btnExit, &QPushButton::clicked, this, &TViewForm::btnExitClick);
    connect(chkRetry, &QCheckBox::toggled, this, &TViewForm::chkRetryClick);
    connect(edtRetry, &QLineEdit::textChanged, this, &TViewForm::edtRetryChange);
    connect(TOEdit, &QLineEdit::textChanged, this, &TViewForm::TOEditChange);
    connect(SpinButton1->UpButton(), &QToolButton::clicked, this, &TViewForm::SpinButton1UpClick);
    connect(SpinButton1->DownButton(), &QToolButton::clicked, this, &TViewForm::SpinButton1DownClick);
    connect(ComboServer, &QComboBox::currentTextChanged, this, &TViewForm::ComboServerChange);
    connect(ComboProtocol, &QComboBox::currentIndexChanged, this, &TViewForm::ComboProtocolChange);
    // Clicks only: setting the box from the entry at start must not rewrite it.
    connect(chkAutostart, &QCheckBox::clicked, this, &TViewForm::chkAutostartClick);
    connect(mnuSynchro, &QAction::triggered, this, &TViewForm::mnuSynchroClick);
    connect(mnuProperties, &QAction::triggered, this, &TViewForm::mnuPropertiesClick);
    connect(mnuExit, &QAction::triggered, this, &TViewForm::mnuExitClick);
    connect(Timer1, &QTimer::timeout, this, &TViewForm::Timer1Timer);
    connect(btnNewMoons, &QPushButton::clicked, this, &TViewForm::btnNewMoonsClick);
    connect(btnMeteor, &QPushButton::clicked, this, &TViewForm::btnMeteorClick);

    TrayIcon1->OnClick = [this](QObject*) { mnuPropertiesClick(); };
    presentCheckEvents();
}

bool TViewForm::hasNotificationArea() const
{
    return services_.notificationArea.Available();
}

void TViewForm::setVisible(bool visible)
{
    // Off the taskbar only while the tray icon is there to bring the window back.
    if (visible && !isVisible() && hasNotificationArea())
        platform::SetSkipTaskbar(this);
    ui::TViewFormLayout::setVisible(visible);
}

// Being the main window, its closing ends the program (the dialog may be open).
void TViewForm::closeEvent(QCloseEvent* event)
{
    event->accept();
    if (services_.quit)
        services_.quit();
}
