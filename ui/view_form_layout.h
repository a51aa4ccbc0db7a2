#pragma once
// The main window's controls: a five-page notebook over a row of command
// buttons, every control at its design place. The window's behaviour lives in
// the handlers of the class derived from this one.

#include <QWidget>

class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QTabWidget;

namespace platform {
class SystemClock;
}

namespace ui {

class TGradient;
class TMoon;
class TSpinButton;

// The design's client area.
inline constexpr int kViewFormWidth = 244;
inline constexpr int kViewFormHeight = 303;
inline constexpr int kViewFormDesignLeft = 267;
inline constexpr int kViewFormDesignTop = 143;

class TViewFormLayout : public QWidget {
public:
    // The clock gives the moon picture its first moment (the system's when null).
    explicit TViewFormLayout(QWidget* parent = nullptr, const platform::SystemClock* clock = nullptr);

    QTabWidget* TabbedNotebook1 = nullptr;
    QFrame* Panel3 = nullptr;
    QPushButton* btnConnect = nullptr;
    QPushButton* btnStop = nullptr;
    QPushButton* btnMinimize = nullptr;
    QPushButton* btnExit = nullptr;

    // Status
    QFrame* Shape1 = nullptr;
    QLabel* Panel6 = nullptr;
    QLabel* Daytime = nullptr;
    QGroupBox* GroupBox3 = nullptr;
    QLabel* svrName = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* svrTime = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* lclTime = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Correction = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QListWidget* ListBox1 = nullptr;

    // Sun
    QGroupBox* GroupBox7 = nullptr;
    QLabel* Label17 = nullptr;
    QLabel* lblSunDist = nullptr;
    QLabel* Label26 = nullptr;
    QLabel* lblSunSub = nullptr;
    QGroupBox* GroupBox6 = nullptr;
    QLabel* Label23 = nullptr;
    QLabel* lblStandard = nullptr;
    QLabel* Label25 = nullptr;
    QLabel* lblDaylight = nullptr;

    // Moon
    QGroupBox* GroupBox4 = nullptr;
    TMoon* Moon = nullptr;
    QLabel* Label22 = nullptr;
    QLabel* lblAge = nullptr;
    QLabel* Label16 = nullptr;
    QLabel* lblPhase = nullptr;
    QLabel* Label18 = nullptr;
    QLabel* lblDist = nullptr;
    QLabel* Label19 = nullptr;
    QLabel* lblEclLat = nullptr;
    QLabel* Label20 = nullptr;
    QLabel* lblEclLong = nullptr;
    QLabel* Label27 = nullptr;
    QLabel* lblMoonSub = nullptr;
    QGroupBox* GroupBox5 = nullptr;
    QLabel* lbl_lastnew = nullptr;
    QLabel* lbl_firstquart = nullptr;
    QLabel* lbl_full = nullptr;
    QLabel* lbl_lastquart = nullptr;
    QLabel* lbl_nextnew = nullptr;
    QLabel* lblNewMoon = nullptr;
    QLabel* lblFQ = nullptr;
    QLabel* lblFullMoon = nullptr;
    QLabel* lblLQ = nullptr;
    QLabel* lblNNM = nullptr;
    QPushButton* btnNewMoons = nullptr;
    QPushButton* btnMeteor = nullptr;

    // Options
    QGroupBox* GroupBox1 = nullptr;
    QCheckBox* chkStartMin = nullptr;
    QCheckBox* chkAutoConnect = nullptr;
    QCheckBox* chkExit = nullptr;
    QCheckBox* chkRetry = nullptr;
    QLineEdit* edtRetry = nullptr;
    QLabel* Label14 = nullptr;
    QCheckBox* chkAdjust = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    QLabel* Label15 = nullptr;
    QComboBox* ComboServer = nullptr;
    QLabel* Label4 = nullptr;
    QLineEdit* TOEdit = nullptr;
    TSpinButton* SpinButton1 = nullptr;
    QLabel* Label5 = nullptr;
    QCheckBox* chkAutostart = nullptr;
    QComboBox* ComboProtocol = nullptr;
    QComboBox* ComboRepeat = nullptr;   // repeating checks: off, or every 1 to 24 hours

    // About
    TGradient* Gradient1 = nullptr;
    QLabel* Label11 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* Edit1 = nullptr;

private:
    void buildStatusPage(QWidget* page);
    void buildSunPage(QWidget* page);
    void buildMoonPage(QWidget* page, const platform::SystemClock* clock);
    void buildOptionsPage(QWidget* page);
    void buildAboutPage(QWidget* page);
    void buildCommandRow();
};

// The application icon: 16 x 16 and 32 x 32.
QIcon ApplicationIcon();

} // namespace ui
