#include "description/datafolders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace {

const QString FirmwaresFolder = QStringLiteral("/firmwares");
const QString PrimaryDescription = QStringLiteral("tellur.dsc");

}  // namespace

namespace datafolders {

QStringList fallbackFolders()
{
    return {
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/kova"),
        // Relative to the program, so an installation under any prefix finds its own.
        QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/" KOVA_SHARED_DATA_FROM_PROGRAM))};
}

QVector<DescriptionPlace> descriptionPlaces()
{
    QVector<DescriptionPlace> places{{PrimaryDescription, QCoreApplication::applicationDirPath() + FirmwaresFolder}};
    for (const QString &folder : fallbackFolders())
        places.append({folder + QLatin1Char('/') + PrimaryDescription, folder + FirmwaresFolder});
    return places;
}

DescriptionPlace firstDescriptionPlace(const QVector<DescriptionPlace> &places)
{
    for (const DescriptionPlace &place : places)
        if (QFile::exists(place.primaryFile))
            return place;
    return places.value(0);
}

DescriptionPlace descriptionPlace()
{
    return firstDescriptionPlace(descriptionPlaces());
}

QStringList packageFolders()
{
    QStringList folders{QCoreApplication::applicationDirPath() + FirmwaresFolder};
    for (const QString &folder : fallbackFolders())
        folders << folder + FirmwaresFolder;
    return folders;
}

QString firstPackageFolder(const QStringList &folders)
{
    for (const QString &folder : folders)
        if (!QDir(folder).entryList({QStringLiteral("*.upd")}, QDir::Files).isEmpty())
            return folder;
    return folders.value(0);
}

QString packageFolder()
{
    return firstPackageFolder(packageFolders());
}

QString backupFolder()
{
    return fallbackFolders().constFirst() + QStringLiteral("/backups");
}

}  // namespace datafolders
