#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>

class QFile;

// Every file the program reads because a user named or placed it (the port
// setting file, descriptions, packages, settings files) is opened here. A
// FIFO or a device in its place would hold the open, or the first read,
// until someone writes to it; such a file is refused instead, without
// waiting.
//
// Opens `file` (its file name) for reading in `mode`. False when it cannot be
// opened or is no regular file; `error` then holds the system's words for it.
bool openRegularFile(QFile &file, QString *error, QIODevice::OpenMode mode = QIODevice::ReadOnly);

// At most `limit` + 1 bytes of `file`, however large it claims to be, so
// that a caller can tell a file above the limit.
QByteArray readBounded(QIODevice &file, qint64 limit);
