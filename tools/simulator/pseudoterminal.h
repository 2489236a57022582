#pragma once

#include "simline.h"

#include <QString>

// A pty pair whose slave end stands for the cable's serial port. The slave is
// kept open here for the object's whole life: otherwise every close by the
// program under test would leave the master failing reads with EIO.
class PseudoTerminal : public SimLine
{
public:
    PseudoTerminal();
    ~PseudoTerminal() override;
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    bool isOpen() const { return m_master >= 0; }
    int masterFd() const { return m_master; }
    QString slavePath() const { return m_slavePath; }

    int fd() const override { return m_master; }
    QString path() const override { return m_slavePath; }
    int baudRate() override;

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
};

// The speed the program has set on the slave end, read from the master;
// 0 when it cannot be read.
int slaveBaudRate(int masterFd);
