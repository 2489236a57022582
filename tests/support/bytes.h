#pragma once

// Bytes written out in the tests and files written and read back whole.
#include <QByteArray>
#include <QFile>
#include <QString>

#include <sys/stat.h>

namespace testsupport {

// Frames spelled out byte by byte, so that no frame code of the program or
// the simulator is trusted for the expected bytes.
inline QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

// False unless every byte reached the file.
inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush();
}

// Empty when the file cannot be read.
inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A FIFO in place of a file: opening it for reading waits for a writer.
inline bool makeFifo(const QString &path)
{
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

}  // namespace testsupport
