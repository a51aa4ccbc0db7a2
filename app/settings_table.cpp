// The rows of the window's settings table, in the order the keys have always
// been written: a new file lists them so.
#include "app/settings_table.h"

#include "app/autostart.h"
#include "app/repeat_schedule.h"
#include "app/view_form.h"
#include "platform/exception.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

using namespace app;

namespace {

constexpr Setting kProtocolKey{"ViewForm", "Protocol", "Protocol", kTimeProtocolText};

template <auto control>
QWidget* controlOf(TViewForm& window)
{
    return window.*control;
}

template <auto edit>
std::string textShown(const TViewForm& window)
{
    return (window.*edit)->text().toStdString();
}

template <auto box>
std::string switchShown(const TViewForm& window)
{
    return (window.*box)->isChecked() ? "1" : "0";
}

template <auto box>
constexpr SettingBinding switchRow(const Setting& key)
{
    return {key,
            [](TViewForm& window, const platform::TIniFile& file, const Setting& setting) {
                (window.*box)->setChecked(ReadSwitch(file, setting));
            },
            switchShown<box>, controlOf<box>};
}

} // namespace

// A value that is no whole number falls back to its default rather than
// stopping the start-up.
std::span<const SettingBinding> TViewForm::settingsTable()
{
    static constexpr SettingBinding rows[] = {
        switchRow<&TViewForm::chkAutoConnect>({"ViewForm", "AutoConnect", "AutoConnect", "0"}),
        switchRow<&TViewForm::chkExit>({"ViewForm", "AutoMinimize", "AutoMinimize", "0"}),
        switchRow<&TViewForm::chkAdjust>({"ViewForm", "Adjust", "Adjust", "1"}),
        switchRow<&TViewForm::chkStartMin>({"ViewForm", "StartMin", "StartMin", "0"}),
        {{"ViewForm", "Timeout", "Timeout", "10"},
         [](TViewForm& window, const platform::TIniFile& file, const Setting& key) {
             window.setTimeOutText(ReadWholeNumber(file, key, kTimeOutMin, kTimeOutMax));
         },
         textShown<&TViewForm::TOEdit>, controlOf<&TViewForm::TOEdit>},
        switchRow<&TViewForm::chkRetry>({"ViewForm", "Retry", "Retry", "1"}),
        // The number of further attempts after a time-out, despite its name.
        {{"ViewForm", "RetrySecs", "Retrysecs", "3"},
         [](TViewForm& window, const platform::TIniFile& file, const Setting& key) {
             const std::string retries = ReadText(file, key);
             window.edtRetry->setText(QString::fromStdString(ParseWholeNumber(retries) ? retries : key.defaultValue));
         },
         textShown<&TViewForm::edtRetry>, controlOf<&TViewForm::edtRetry>},
        // svrName, which is what is saved, follows the combo box's text.
        {{"ViewForm", "Server", "Server", kTimeServers[0]},
         [](TViewForm& window, const platform::TIniFile& file, const Setting& key) {
             // None in the file: the first server of the protocol it names.
             Setting withDefault = key;
             withDefault.defaultValue = ServersFor(ReadProtocol(file, kProtocolKey)).front();
             const QString server = QString::fromStdString(ReadText(file, withDefault));
             window.svrName->setText(server);
             window.ComboServer->setEditText(server);
         },
         textShown<&TViewForm::svrName>, controlOf<&TViewForm::ComboServer>},
        // Mirrors the session's autostart entry, which wins at start; read only
        // when the entry cannot be.
        {{"ViewForm", "Autostart", "Autostart", "0"},
         [](TViewForm& window, const platform::TIniFile& file, const Setting& key) {
             const AutostartState autostart = ReadAutostartState(AutostartEntryPath());
             // Another program's entry at our name is left alone, and said so once.
             if (autostart == AutostartState::Foreign)
                 platform::ShowException(Exception(ForeignEntryReport(AutostartEntryPath())), &window);
             window.chkAutostart->setChecked(autostart == AutostartState::Unreadable ? ReadSwitch(file, key)
                                                                                     : autostart == AutostartState::Enabled);
         },
         switchShown<&TViewForm::chkAutostart>, controlOf<&TViewForm::chkAutostart>},
        // Written when NTP is chosen or the file already names a protocol: an
        // older file that stays with the Time protocol is left as it was.
        {kProtocolKey,
         [](TViewForm& window, const platform::TIniFile& file, const Setting& key) {
             window.setChosenProtocol(ReadProtocol(file, key));
         },
         [](const TViewForm& window) -> std::string {
             switch (window.chosenProtocol()) {
             case TimeProtocol::Ntp: return kNtpProtocolText;
             case TimeProtocol::Nts: return kNtsProtocolText;
             case TimeProtocol::Time: break;
             }
             return kTimeProtocolText;
         },
         controlOf<&TViewForm::ComboProtocol>, true},
        // Off (0) unless 1 to 24 hours; a file without the key stays without it while off.
        {{"ViewForm", "RepeatHours", "RepeatHours", "0"},
         [](TViewForm& window, const platform::TIniFile& file, const Setting& key) {
             window.setRepeatHoursShown(RepeatHoursFromText(ReadText(file, key)));
         },
         [](const TViewForm& window) { return std::to_string(window.repeatHoursShown()); },
         controlOf<&TViewForm::ComboRepeat>, true},
        {{"Info", nullptr, "Last Updated", ""}, nullptr,
         [](const TViewForm& window) { return window.lastUpdatedText(); }, nullptr},
    };
    return rows;
}
