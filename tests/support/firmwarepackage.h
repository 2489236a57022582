#pragma once

// Firmware packages written on the fly, for runs that need another block
// count than the example packages have, and read back as plain text.
#include <QByteArray>
#include <QFile>
#include <QString>

namespace testsupport {

// Bytes that look like firmware, the same on every run.
inline QByteArray patternImage(int length)
{
    QByteArray image;
    quint32 state = 0x2545F491;
    for (int i = 0; i < length; ++i) {
        state = state * 1664525u + 1013904223u;
        image.append(char(state >> 24));
    }
    return image;
}

// What the catalogue compares with the device, and the version it lists.
struct PackageIdentity {
    int deviceId = 0;
    int hwVersion = 0;
    int blVersion = 0;
    QString firmware;
};

// `image` as line records of `recordDigits` hexadecimal digits, each
// followed by a four-digit trailer and CR LF.
inline bool writePackage(const QString &path, const PackageIdentity &identity, const QByteArray &image,
                         int recordDigits)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(QString("[Device]\r\nID=%1\r\nHW=%2\r\nBL=%3\r\nFW=%4\r\n\r\n[Firmware]\r\n")
                   .arg(identity.deviceId)
                   .arg(identity.hwVersion)
                   .arg(identity.blVersion)
                   .arg(identity.firmware)
                   .toLatin1());
    const int bytesPerLine = recordDigits / 2;
    for (int at = 0; at < image.size(); at += bytesPerLine)
        file.write(image.mid(at, bytesPerLine).toHex().toUpper() + "0000\r\n");
    return file.flush();
}

// The image as the device must receive it, read straight from the package
// text: the first `recordDigits` hexadecimal digits of every line after
// "[Firmware]". Empty when the file cannot be read.
inline QByteArray packageImage(const QString &path, int recordDigits)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray hex;
    bool inData = false;
    for (QByteArray line : file.readAll().split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (!inData)
            inData = line == "[Firmware]";
        else if (line.size() >= recordDigits)
            hex += line.left(recordDigits);
    }
    return QByteArray::fromHex(hex);
}

}  // namespace testsupport
