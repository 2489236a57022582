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

    bool isOpen() const { return master >= 0; }
    int masterFd() const { return master; }
    QString slavePath() const { return slaveName; }

    int fd() const override { return master; }
    QString path() const override { return slaveName; }
    int baudRate() override;

private:
    int master = -1;
    int slave = -1;
    QString slaveName;
};

// The speed the program has set on the slave end, read from the master;
// 0 when it cannot be read.
int slaveBaudRate(int masterFd);
