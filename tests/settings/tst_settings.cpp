// The settings library without a device: the settings file's format and
// how a device's identity fits it, and the backup folder's files.
#include "settings/settingsbackup.h"
#include "settings/settingsfile.h"

#include "description/datafolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtTest>

using Fit = settingsfile::Fit;
Q_DECLARE_METATYPE(Fit)
Q_DECLARE_METATYPE(SettingsIdentity)
using Problem = settingsbackup::Written::Problem;
Q_DECLARE_METATYPE(Problem)

namespace {

const QByteArray ValidFile = R"({"format": "kova-settings", "version": 1,
    "device": {"name": "Vorn Kestrel 80", "id": 21, "hardware": 2, "bootloader": 3,
               "firmwareMajor": 4, "firmwareMinor": 12, "firmwareBuild": 7},
    "parameters": [{"name": "Motor timing", "cells": [11], "raw": 3, "shown": "15°"},
                   {"name": "Head speed", "cells": [19, 20], "raw": 2600, "shown": "2600 rpm"}]})";

const SettingsIdentity Kestrel{"Vorn Kestrel 80", {21, 2, 3, 4, 12, 7}};

// `text` as the file `name` of the backup folder, last changed at `changed`.
bool placeBackup(const QString &name, const QByteArray &text, const QDateTime &changed)
{
    QFile file(datafolders::backupFolder() + '/' + name);
    // Written out before the time is set, which the close would move on otherwise.
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.flush()
           && file.setFileTime(changed, QFileDevice::FileModificationTime);
}

}  // namespace

class SettingsTest : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { QDir(datafolders::backupFolder()).removeRecursively(); }

    void settingsFileRefusals_data()
    {
        QTest::addColumn<QByteArray>("from");
        QTest::addColumn<QByteArray>("to");  // replaces `from` in a valid file

        QTest::newRow("not JSON") << QByteArray("{\"format\"") << QByteArray("[\"format\"");
        QTest::newRow("other format") << QByteArray("kova-settings") << QByteArray("kova-other");
        QTest::newRow("other version") << QByteArray("\"version\": 1") << QByteArray("\"version\": 2");
        QTest::newRow("identifier above 255") << QByteArray("\"id\": 21") << QByteArray("\"id\": 256");
        QTest::newRow("identifier a text") << QByteArray("\"id\": 21") << QByteArray("\"id\": \"21\"");
        QTest::newRow("no device name") << QByteArray("\"name\": \"Vorn") << QByteArray("\"label\": \"Vorn");
        QTest::newRow("raw beyond one cell") << QByteArray("\"raw\": 3") << QByteArray("\"raw\": 256");
        QTest::newRow("raw beyond two cells") << QByteArray("\"raw\": 2600") << QByteArray("\"raw\": 65536");
        QTest::newRow("raw negative") << QByteArray("\"raw\": 3") << QByteArray("\"raw\": -3");
        QTest::newRow("raw fractional") << QByteArray("\"raw\": 3") << QByteArray("\"raw\": 3.5");
        QTest::newRow("cell without slot") << QByteArray("[11]") << QByteArray("[255]");
        QTest::newRow("cell far beyond any integer") << QByteArray("[11]") << QByteArray("[1e30]");
        QTest::newRow("raw far below any integer") << QByteArray("\"raw\": 3") << QByteArray("\"raw\": -1e300");
        QTest::newRow("identifier far beyond") << QByteArray("\"id\": 21") << QByteArray("\"id\": 1e19");
        QTest::newRow("no cells") << QByteArray("[11]") << QByteArray("[]");
        QTest::newRow("three cells") << QByteArray("[11]") << QByteArray("[11, 12, 13]");
        QTest::newRow("allowed neither true nor false")
            << QByteArray("\"shown\": \"15°\"") << QByteArray("\"shown\": \"15°\", \"allowed\": 1");
        QTest::newRow("one name twice in the same cells")
            << QByteArray("\"Head speed\", \"cells\": [19, 20]") << QByteArray("\"Motor timing\", \"cells\": [11]");
        QTest::newRow("nameless parameter") << QByteArray("\"name\": \"Motor") << QByteArray("\"nom\": \"Motor");
        QTest::newRow("nested too deeply")
            << QByteArray("\"version\": 1") << "\"version\": 1, \"more\": " + QByteArray(32, '[') + QByteArray(32, ']');
    }

    void settingsFileRefusals()
    {
        QFETCH(QByteArray, from);
        QFETCH(QByteArray, to);
        QVERIFY(settingsfile::fromJson(ValidFile).ok());
        QByteArray text = ValidFile;
        QVERIFY(text.contains(from));
        const settingsfile::Parsed parsed = settingsfile::fromJson(text.replace(from, to));
        QVERIFY(!parsed.ok());
    }

    // Parameters of one name stay apart by their cells; a value the
    // description did not allow keeps its mark.
    void settingsFileRoundTrip()
    {
        QByteArray text = ValidFile;
        text.replace("\"Head speed\"", "\"Motor timing\"").replace("\"2600 rpm\"", "\"2600 rpm\", \"allowed\": false");
        const settingsfile::Parsed parsed = settingsfile::fromJson(text);
        QVERIFY2(parsed.ok(), qPrintable(parsed.error));
        const settingsfile::Parsed again = settingsfile::fromJson(settingsfile::toJson(parsed.file));
        QVERIFY2(again.ok(), qPrintable(again.error));
        QCOMPARE(settingsfile::fitOf(again.file.device, Kestrel), Fit::SameDevice);
        QCOMPARE(again.file.parameters.size(), 2);
        QCOMPARE(again.file.parameters.at(1).name, QString("Motor timing"));
        QCOMPARE(again.file.parameters.at(1).cells, QVector<int>({19, 20}));
        QCOMPARE(again.file.parameters.at(1).raw, 2600u);
        QCOMPARE(again.file.parameters.at(1).allowed, false);
        QCOMPARE(again.file.parameters.at(0).shown, QString("15°"));
        QCOMPARE(again.file.parameters.at(0).allowed, true);
    }

    void fit_data()
    {
        QTest::addColumn<SettingsIdentity>("saved");
        QTest::addColumn<Fit>("fit");
        const auto changed = [](auto change) {
            SettingsIdentity identity = Kestrel;
            change(identity);
            return identity;
        };
        QTest::newRow("same") << Kestrel << Fit::SameDevice;
        QTest::newRow("other bootloader") << changed([](auto &d) { d.identity.blVersion = 4; }) << Fit::SameDevice;
        QTest::newRow("other name") << changed([](auto &d) { d.name = "Vorn Kestrel 60"; }) << Fit::OtherDevice;
        QTest::newRow("other identifier") << changed([](auto &d) { d.identity.deviceId = 22; }) << Fit::OtherDevice;
        QTest::newRow("other hardware") << changed([](auto &d) { d.identity.hwVersion = 3; }) << Fit::OtherDevice;
        QTest::newRow("other hardware and firmware") << changed([](auto &d) {
            d.identity.hwVersion = 3;
            d.identity.fwMinor = 13;
        }) << Fit::OtherDevice;
        QTest::newRow("other minor") << changed([](auto &d) { d.identity.fwMinor = 13; }) << Fit::OtherFirmware;
        QTest::newRow("other build") << changed([](auto &d) { d.identity.fwBuild = 0; }) << Fit::OtherFirmware;
    }

    void fit()
    {
        QFETCH(SettingsIdentity, saved);
        QFETCH(Fit, fit);
        QCOMPARE(settingsfile::fitOf(saved, Kestrel), fit);
    }

    // By the time in the name, the later attempt of one second first; a
    // file named otherwise by its last change. The newest of a device is
    // its newest usable one under any firmware.
    void backupsNewestFirst()
    {
        QVERIFY(QDir().mkpath(datafolders::backupFolder()));
        QByteArray otherFirmware = ValidFile;
        otherFirmware.replace("\"firmwareMinor\": 12", "\"firmwareMinor\": 13");
        QByteArray otherDevice = ValidFile;
        otherDevice.replace("Kestrel 80", "Kestrel 60");
        const QDateTime old(QDate(2026, 1, 1), QTime(8, 0));
        const QList<std::pair<QString, QByteArray>> files{
            {"Vorn-Kestrel-80-20261207-094512.json", ValidFile},
            {"Vorn-Kestrel-80-20261207-094512-10.json", otherFirmware},
            {"Vorn-Kestrel-80-20261207-094512-2.json", ValidFile},
            {"Vorn-Kestrel-60-20261208-070000.json", otherDevice},
            {"Vorn-Kestrel-80-20261101-000000.json", ValidFile},
            {"copied.json", ValidFile},
            {"Vorn-Kestrel-80-20261209-000000.json", "{}"},
        };
        for (const auto &file : files)
            QVERIFY(placeBackup(file.first, file.second, old));

        const QVector<settingsbackup::Backup> backups = settingsbackup::list();
        QStringList order;
        for (const settingsbackup::Backup &backup : backups)
            order << QFileInfo(backup.path).fileName() + (backup.error.isEmpty() ? "" : " unusable");
        QCOMPARE(order, (QStringList{"Vorn-Kestrel-80-20261209-000000.json unusable",
                                     "Vorn-Kestrel-60-20261208-070000.json", "Vorn-Kestrel-80-20261207-094512-10.json",
                                     "Vorn-Kestrel-80-20261207-094512-2.json", "Vorn-Kestrel-80-20261207-094512.json",
                                     "Vorn-Kestrel-80-20261101-000000.json", "copied.json"}));
        QCOMPARE(backups.at(1).time, QDateTime(QDate(2026, 12, 8), QTime(7, 0)));
        QCOMPARE(backups.last().time, old);
        const settingsbackup::Backup *newest = settingsbackup::newestOf(backups, Kestrel);
        QVERIFY(newest);
        QCOMPARE(QFileInfo(newest->path).fileName(), QString("Vorn-Kestrel-80-20261207-094512-10.json"));
        QCOMPARE(newest->file.device.identity.fwMinor, quint8(13));
        QVERIFY(!settingsbackup::newestOf(backups, {"Vorn Kestrel 80", {22, 2, 3, 4, 12, 7}}));
    }

    void backupWritten_data()
    {
        QTest::addColumn<bool>("folderIsAFile");
        QTest::addColumn<Problem>("problem");
        QTest::newRow("written") << false << settingsbackup::Written::None;
        QTest::newRow("folder cannot be made") << true << settingsbackup::Written::NoFolder;
    }

    // Named after the device and the time, readable as it was written.
    void backupWritten()
    {
        QFETCH(bool, folderIsAFile);
        QFETCH(Problem, problem);
        const QString folder = datafolders::backupFolder();
        QVERIFY(QDir().mkpath(QFileInfo(folder).path()));
        QFile::remove(folder);
        if (folderIsAFile)
            QVERIFY(QFile(folder).open(QIODevice::WriteOnly));
        const settingsfile::Parsed saved = settingsfile::fromJson(ValidFile);
        QVERIFY(saved.ok());
        const settingsbackup::Written written = settingsbackup::write(saved.file);
        if (folderIsAFile)
            QFile::remove(folder);
        QCOMPARE(written.problem, problem);
        if (problem != settingsbackup::Written::None) {
            QCOMPARE(written.path, folder);
            return;
        }
        QVERIFY2(QFileInfo(written.path).fileName().startsWith("Vorn-Kestrel-80-2"), qPrintable(written.path));
        QCOMPARE(QFileInfo(written.path).path(), folder);
        const settingsfile::Parsed again = settingsfile::read(written.path);
        QVERIFY2(again.ok(), qPrintable(again.error));
        QCOMPARE(settingsfile::toJson(again.file), settingsfile::toJson(saved.file));
    }
};

QTEST_GUILESS_MAIN(SettingsTest)
#include "tst_settings.moc"
