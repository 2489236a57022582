#pragma once

#include <QObject>

class QWidget;

// Keeps the mouse wheel from changing a control the user has not focused:
// such a wheel event goes on to the page, which scrolls. One guard serves
// every control.
class WheelFocusGuard : public QObject
{
    Q_OBJECT

public:
    // Also takes the wheel out of the control's focus policy, so that the
    // wheel alone never focuses it.
    static void guard(QWidget *control);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};
