#include "params/descriptionlookup.h"

#include "params/descriptionreader.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>

namespace descriptionlookup {

const QString PrimaryFile = QStringLiteral("tellur.dsc");

QString firmwaresFolder()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/firmwares");
}

Result findIn(const QString &path, const DescriptionIdentity &identity)
{
    Result result;
    result.file = path;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        // The same words for every file, as the window always wrote them.
        qDebug() << "Error: Cannot read file" << "Tellur.dsc" << ": " << file.errorString();
        result.outcome = Result::CannotOpen;
        result.error = file.errorString();
        return result;
    }
    if (file.size() > descriptionreader::MaxFileBytes) {
        qDebug() << "Description file" << path << "exceeds" << descriptionreader::MaxFileBytes << "bytes, skipped";
        return result;
    }
    const QVector<DeviceDescription> devices = descriptionreader::read(file.readAll(), identity);
    if (!devices.isEmpty()) {
        result.outcome = Result::Found;
        result.device = devices.first();
    }
    return result;
}

Result find(const DescriptionIdentity &identity)
{
    Result result = findIn(PrimaryFile, identity);
    if (result.outcome != Result::NotFound)
        return result;
    const QStringList names =
        QDir(firmwaresFolder()).entryList({QStringLiteral("*.dsc")}, QDir::Files, QDir::Reversed);
    for (const QString &name : names) {
        result = findIn(firmwaresFolder() + QLatin1Char('/') + name, identity);
        if (result.outcome != Result::NotFound)
            return result;
    }
    return Result();
}

}  // namespace descriptionlookup
