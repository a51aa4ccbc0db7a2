#pragma once
// The exception barrier of the event dispatch: an error that escapes a handler
// reaches the standard error report instead of unwinding through Qt.

#include "platform/exception.h"

#include <QObject>

namespace platform {

template <typename Application>
class GuardedApplication : public Application {
public:
    using Application::Application;

    bool notify(QObject* receiver, QEvent* event) override
    {
        try {
            return Application::notify(receiver, event);
        } catch (const std::exception& error) {
            ShowException(error, receiver);
        }
        return false;
    }
};

} // namespace platform
