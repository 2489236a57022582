#pragma once

#include <QString>

#include <functional>
#include <memory>

// The simulator's end of the cable's serial line: the device's thread reads,
// writes and polls fd() and asks for the speed before it decodes a request.
class SimLine
{
public:
    virtual ~SimLine() = default;
    virtual int fd() const = 0;
    // What the program opens, or where the line leads to; empty when it failed.
    virtual QString path() const = 0;
    // The speed the program has set on the line; 0 when it cannot be told.
    virtual int baudRate() = 0;
};

// Called again for every replug: a new line, whose path may differ.
using SimLineFactory = std::function<std::unique_ptr<SimLine>()>;
