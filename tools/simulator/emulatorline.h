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

    int fd() const override { return socketFd; }
    QString path() const override { return socketFd >= 0 ? emulatorSocketPath : QString(); }
    int baudRate() override;

private:
    int socketFd = -1;
    QString emulatorSocketPath;
    QFile traceFile;
    QByteArray partialLine;
    QList<int> candidateRates;
    int currentRate = 0;
};
