#include "app/settings_saver.h"

#include "app/settings.h"
#include "platform/exception.h"
#include "platform/private_profile.h"

#include <QTimer>

#include <utility>

namespace app {

SettingsSaver::SettingsSaver(std::function<SettingsValues()> current,
                             std::function<void(const SettingsValues&)> write, const SettingsValues& saved,
                             QObject* parent)
    : QObject(parent), current_(std::move(current)), write_(std::move(write)), saved_(saved),
      timer_(new QTimer(this))
{
    timer_->setSingleShot(true);
    timer_->setInterval(kDelay);
    connect(timer_, &QTimer::timeout, this, &SettingsSaver::Flush);
}

void SettingsSaver::Changed()
{
    if (!timer_->isActive())
        timer_->start();
}

bool SettingsSaver::Pending() const
{
    return timer_->isActive();
}

void SettingsSaver::Flush()
{
    timer_->stop();
    const SettingsValues values = current_();
    if (values == saved_)
        return;
    try {
        write_(values);
    } catch (const std::exception& error) {
        // The next change tries again; the exit writes whatever is shown.
        if (!failureReported_) {
            failureReported_ = true;
            platform::ShowException(error, this);
        }
        return;
    }
    Written(values);
}

void SettingsSaver::Written(const SettingsValues& values)
{
    timer_->stop();
    saved_ = values;
    failureReported_ = false;
}

} // namespace app
