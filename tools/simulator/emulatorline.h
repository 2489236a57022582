#pragma once

#include "simline.h"

#include <QByteArray>
#include <QFile>
#include <QList>

// The host end of an emulated USB-serial adapter: a connection to the
// emulator's character device socket. The emulator keeps the speed the
// program set to itself and reports it only in its trace file, which this
// follows.
class EmulatorLine : public SimLine
{
public:
    // `askedRates` are the rates the trace's run rates are mapped back to.
    EmulatorLine(const QString &socketPath, const QString &tracePath, const QList<int> &askedRates);
    ~EmulatorLine() override;
    EmulatorLine(const EmulatorLine &) = delete;
    EmulatorLine &operator=(const EmulatorLine &) = delete;

    int fd() const override { return m_socket; }
    QString path() const override { return m_socket >= 0 ? m_socketPath : QString(); }
    int baudRate() override;

private:
    int m_socket = -1;
    QString m_socketPath;
    QFile m_trace;
    QByteArray m_partialLine;
    QList<int> m_askedRates;
    int m_rate = 0;
};
