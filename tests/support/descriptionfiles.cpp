#include "support/descriptionfiles.h"

#include "support/bytes.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTest>

namespace descriptionfiles {

const QString Primary = QStringLiteral("tellur.dsc");

QString firmwaresFolder()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/firmwares");
}

void removeAll()
{
    QFile::remove(Primary);
    QDir(Primary).removeRecursively();
    QDir(firmwaresFolder()).removeRecursively();
}

void writeFile(const QString &path, const QByteArray &content)
{
    QVERIFY2(testsupport::writeFile(path, content), qPrintable(path));
}

void writePrimary(const QString &content)
{
    writeFile(Primary, content.toUtf8());
}

void writeFirmwaresFile(const QString &name, const QString &content)
{
    QVERIFY(QDir().mkpath(firmwaresFolder()));
    writeFile(firmwaresFolder() + QLatin1Char('/') + name, content.toUtf8());
}

QString device(int id, int hw, int fw, int fwm, const QString &name, const QString &parameters, const QString &extra)
{
    return QStringLiteral("<ESC id=\"%1\" hw=\"%2\" fw=\"%3\" fwm=\"%4\" name=\"%5\" %6>\n%7</ESC>\n")
        .arg(id)
        .arg(hw)
        .arg(fw)
        .arg(fwm)
        .arg(name, extra, parameters);
}

QString document(const QString &body)
{
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Devices>\n%1</Devices>\n").arg(body);
}

}  // namespace descriptionfiles
