#pragma once

// A home for the parameter tree like the window's: the window's style sheet
// and the page stack with the splash page in front, shown, as the program is
// while it builds the page.
#include "app/parameterpage.h"
#include "app/windowstyle.h"

#include <QLabel>
#include <QStackedWidget>
#include <QString>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWidget>

// The offscreen platform notes that it cannot give the tree its native
// window; everything else goes on to Qt's own output.
inline void quietNativeWindowNotes(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (!message.startsWith(QLatin1String("This plugin does not support")))
        qt_message_output(type, context, message);
}

struct PageHost {
    PageHost()
    {
        window.setStyleSheet(windowstyle::Window);
        window.resize(400, 700);
        auto *layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        stack = new QStackedWidget(&window);
        layout->addWidget(stack);
        stack->addWidget(new QLabel(QStringLiteral("splash")));
        tree = new QTreeWidget;
        parameterpage::setUpTree(tree);
        stack->addWidget(tree);
        window.show();
    }

    void showPage() { stack->setCurrentIndex(1); }

    QWidget window;
    QStackedWidget *stack = nullptr;
    QTreeWidget *tree = nullptr;
};
