#include "app/view_form.h"

#include "app/time_servers.h"

#include "platform/gui/notify_icon.h"
#include "platform/gui/taskbar.h"
#include "platform/private_profile.h"
#include "ui/spin_button.h"
#include "ui/tray_icon.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

TViewForm::TViewForm(const ViewFormServices& services, QWidget* parent)
    : ui::TViewFormLayout(parent, &services.clock),
      ntpProtocol_(services.preciseClock ? *services.preciseClock : systemPreciseClock_, 1), services_(services)
{
    createComponents();
    connectHandlers();
    FormCreate();
}

TViewForm::~TViewForm()
{
    // The sockets may still report while they close; the window is going.
    cli.ClearHandlers();
}

void TViewForm::createComponents()
{
    listServers(app::TimeProtocol::Time);
    ComboServer->setCurrentIndex(0);
    svrName->setText(ComboServer->currentText());

    cli.SetPort(services_.timePort);
    cli.SetProtocol("tcp");
    cli.SetTimeOut(10);
    unusedClient_.SetPort("time");
    unusedClient_.SetProtocol("tcp");

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    mnuSynchro = PopupMenu1->addAction(QStringLiteral("&Connect..."));
    mnuProperties = PopupMenu1->addAction(QStringLiteral("&Properties"));
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
    cli.OnInfo = [this](TSockCtrl* sender, TSockInfo code, TSocketBase* socket) { cliInfo(sender, code, socket); };
    cli.OnConnect = [this](TSockCtrl* sender, TSocketBase* socket) { cliConnect(sender, socket); };
    cli.OnRead = [this](TSockCtrl* sender, TSocketBase* socket) { cliRead(sender, socket); };
    cli.OnDisconnect = [this](TSockCtrl* sender, TSocketBase* socket) { cliDisconnect(sender, socket); };
    cli.OnTimeOut = [this](TSockCtrl* sender, TSocketBase* socket) { cliTimeOut(sender, socket); };
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
