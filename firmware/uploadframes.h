#pragma once

#include "link/dialect.h"
#include "link/exchange.h"

#include <QByteArray>

// Frames, acknowledgements and exchange parameters of a firmware upload.
// Pure functions: no port, so they are tested directly.
namespace uploadframes {

// One block of the image with its dialect's head and check.
QByteArray blockFrame(Dialect dialect, const QByteArray &block);
int blockFrameLength(Dialect dialect, int blockSize);

// What the device answers to an accepted block (after the echo).
QByteArray acknowledgement(Dialect dialect);

// Ulma only: asks the device to start its bootloader; answered like a block.
QByteArray bootloaderEntryRequest();

// `received` holds the echo of a frame of `frameLength` bytes followed by the
// acknowledgement; bytes beyond it are ignored.
bool acknowledged(Dialect dialect, const QByteArray &received, int frameLength);

ExchangeParams blockExchange(Dialect dialect, int blockSize);
ExchangeParams bootloaderEntryExchange();

}  // namespace uploadframes
