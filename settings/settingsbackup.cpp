#include "settings/settingsbackup.h"

#include "description/datafolders.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace settingsbackup {

namespace {

const QString TimeFormat = QStringLiteral("yyyyMMdd-HHmmss");

// The time and attempt a backup's name carries; an invalid time for a name
// made otherwise.
struct NameStamp {
    QDateTime time;
    int attempt = 1;
};

NameStamp stampOf(const QString &fileName)
{
    static const QRegularExpression stamped(QStringLiteral("-(\\d{8}-\\d{6})(?:-(\\d+))?\\.json$"));
    const QRegularExpressionMatch match = stamped.match(fileName);
    if (!match.hasMatch())
        return {};
    const int attempt = match.captured(2).isEmpty() ? 1 : match.captured(2).toInt();
    return {QDateTime::fromString(match.captured(1), TimeFormat), attempt};
}

}  // namespace

QString backupName(const QString &deviceName, const QDateTime &time, int attempt)
{
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9]+"));
    QString name = deviceName.split(unsafe, Qt::SkipEmptyParts).join('-');
    if (name.isEmpty())
        name = QStringLiteral("device");
    name += '-' + time.toString(TimeFormat);
    if (attempt > 1)
        name += '-' + QString::number(attempt);
    return name + QStringLiteral(".json");
}

Written write(const SettingsFile &file)
{
    Written written;
    const QString folder = datafolders::backupFolder();
    if (!QDir().mkpath(folder))
        return {Written::NoFolder, folder, QString()};
    const QDateTime now = QDateTime::currentDateTime();
    int attempt = 1;
    do
        written.path = folder + '/' + backupName(file.device.name, now, attempt++);
    while (QFileInfo::exists(written.path));
    if (!settingsfile::write(written.path, file, &written.error))
        written.problem = Written::NotWritten;
    return written;
}

QVector<Backup> list()
{
    struct Listed {
        Backup backup;
        int attempt;
    };
    QVector<Listed> listed;
    const QDir folder(datafolders::backupFolder());
    for (const QFileInfo &info : folder.entryInfoList({QStringLiteral("*.json")}, QDir::Files)) {
        const NameStamp stamp = stampOf(info.fileName());
        const settingsfile::Parsed parsed = settingsfile::read(info.filePath());
        listed << Listed{
            {info.filePath(), parsed.file, stamp.time.isValid() ? stamp.time : info.lastModified(), parsed.error},
            stamp.attempt};
    }
    std::sort(listed.begin(), listed.end(), [](const Listed &a, const Listed &b) {
        if (a.backup.time != b.backup.time)
            return a.backup.time > b.backup.time;
        if (a.attempt != b.attempt)
            return a.attempt > b.attempt;
        return a.backup.path < b.backup.path;
    });
    QVector<Backup> backups;
    for (const Listed &entry : listed)
        backups << entry.backup;
    return backups;
}

const Backup *newestOf(const QVector<Backup> &backups, const SettingsIdentity &device)
{
    const auto found = std::find_if(backups.cbegin(), backups.cend(), [&device](const Backup &backup) {
        return backup.error.isEmpty()
               && settingsfile::fitOf(backup.file.device, device) != settingsfile::Fit::OtherDevice;
    });
    return found == backups.cend() ? nullptr : &*found;
}

}  // namespace settingsbackup
