#pragma once

// Bytes written out in the tests and files written and read back whole.
#include <QByteArray>
#include <QFile>
#include <QString>

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

}  // namespace testsupport
