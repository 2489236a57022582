#pragma once

#include <QObject>
#include <QString>
#include <QVector>

// Stands in for the main window: records which control reached which slot.
class ControlReceiver : public QObject
{
    Q_OBJECT

public:
    QVector<QObject *> controlSenders;
    QVector<QObject *> checkboxSenders;

public slots:
    void controlChanged(QString) { controlSenders.append(sender()); }
    void checkboxChanged(int) { checkboxSenders.append(sender()); }
};
