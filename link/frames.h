#pragma once

#include "link/dialect.h"
#include "link/exchange.h"

#include <QByteArray>

// Request builders and reply checks of the ping, read and write commands.
// Pure functions: no port, so they are tested and fuzzed directly.
namespace frames {

QByteArray pingRequest(Dialect dialect);
QByteArray readRequest(Dialect dialect, quint8 cell);
QByteArray writeRequest(Dialect dialect, quint8 cell, quint8 value);

// Reply length after the echo: "M", one byte, then the check.
int replyLength(Dialect dialect);

// The two-byte reply "M", b at `offset` of `received` with its check after it.
bool replyChecks(Dialect dialect, const QByteArray &received, int offset);

// A read or write reply: starts with "M" and its check is right.
bool cellReplyValid(Dialect dialect, const QByteArray &received, int offset);

// Classifies what a ping's line read returned; `sawData` is false when not a
// single byte was available.
PingResult classifyPing(Dialect dialect, bool sawData, const QByteArray &line, int requestLength);

// Waits, expected bytes and reading mode of each command.
ExchangeParams pingExchange(Dialect dialect);
ExchangeParams readExchange(Dialect dialect);
ExchangeParams writeExchange(Dialect dialect);

}  // namespace frames
