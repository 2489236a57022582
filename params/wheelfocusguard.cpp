#include "params/wheelfocusguard.h"

#include <QEvent>
#include <QWidget>

void WheelFocusGuard::guard(QWidget *control)
{
    static WheelFocusGuard shared;
    control->setFocusPolicy(Qt::StrongFocus);
    control->installEventFilter(&shared);
}

bool WheelFocusGuard::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::Wheel || static_cast<QWidget *>(watched)->hasFocus())
        return false;
    // Unhandled by the control, the event travels on to its parents.
    event->ignore();
    return true;
}
