// The time-outs of all socket controls, counted down by one shared
// one-second timer bound to the newest armed control.

#include "net/sock_ctrl.h"

#include <QCoreApplication>
#include <QTimer>

#include <vector>

class ArmedControls {
public:
    static TSockCtrl*& head()
    {
        static TSockCtrl* first = nullptr;
        return first;
    }
    static int& count()
    {
        static int armed = 0;
        return armed;
    }
    // The control the timer's tick is bound to (the head), or none.
    static TSockCtrl*& bound()
    {
        static TSockCtrl* target = nullptr;
        return target;
    }

    static QTimer* timer()
    {
        static QTimer* shared = nullptr;
        if (!shared) {
            // Owned by the application, like any timer created on first use.
            shared = new QTimer(QCoreApplication::instance());
            shared->setInterval(1000);
            QObject::connect(shared, &QTimer::timeout, [] {
                if (TSockCtrl* target = bound())
                    target->TimerTick();
            });
            QObject::connect(shared, &QObject::destroyed, [] { shared = nullptr; });
        }
        return shared;
    }

    // Rebinding the tick restarts the running timer's period.
    static void bind(TSockCtrl* control)
    {
        bound() = control;
        QTimer* shared = timer();
        if (shared->isActive())
            shared->start();
    }

    static bool contains(const TSockCtrl* control)
    {
        for (TSockCtrl* c = head(); c; c = c->next_) {
            if (c == control)
                return true;
        }
        return false;
    }
};

int ArmedCount()
{
    return ArmedControls::count();
}

void TSockCtrl::ArmTimeOut()
{
    if (timeOut_ == 0 || !OnTimeOut)
        return;
    // A control armed twice would sit in the list twice.
    DisarmTimeOut();
    QTimer* timer = ArmedControls::timer();
    TSockCtrl*& head = ArmedControls::head();
    previous_ = nullptr;
    next_ = head;
    if (head)
        head->previous_ = this;
    head = this;
    ArmedControls::bind(this);
    armed_ = true;
    secondsLeft_ = timeOut_;
    ++ArmedControls::count();
    abort_ = false;
    if (ArmedControls::count() == 1)
        timer->start();
}

void TSockCtrl::DisarmTimeOut()
{
    if (!armed_)
        return;
    if (previous_) {
        previous_->next_ = next_;
    } else {
        ArmedControls::bind(next_);
        ArmedControls::head() = next_;
    }
    if (next_)
        next_->previous_ = previous_;
    --ArmedControls::count();
    armed_ = false;
    if (ArmedControls::count() == 0) {
        ArmedControls::timer()->stop();
        ArmedControls::bound() = nullptr;
    }
    previous_ = nullptr;
    next_ = nullptr;
}

// Visits every armed control, oldest first. Handlers run here (OnTimeOut) may
// arm, disarm or destroy controls, so the list is taken first and each control
// is checked to be still armed before it is counted down.
void TSockCtrl::TimerTick()
{
    std::vector<TSockCtrl*> oldestFirst;
    for (TSockCtrl* control = this; control; control = control->next_)
        oldestFirst.insert(oldestFirst.begin(), control);
    for (TSockCtrl* control : oldestFirst) {
        if (!ControlAlive(control) || !ArmedControls::contains(control))
            continue;
        if (control->secondsLeft_ > 0)
            --control->secondsLeft_;
        if (control->secondsLeft_ == 0) {
            control->DisarmTimeOut();
            TSocketBase* socket = control->Socket();
            if (!socket)
                continue;
            SocketInUse inUse(socket);
            control->NotifyInfo(socket, siTimeOut);
            // The OnInfo handler may have destroyed the control.
            if (ControlAlive(control))
                control->NotifyTimeOut(socket);
        }
    }
}
