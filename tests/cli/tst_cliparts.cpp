// The parts of kova-cli that need no device: options, the settings file
// and the progress bar.
#include "clioptions.h"
#include "progressdisplay.h"
#include "settingsfile.h"

#include <QtTest>

using Fit = settingsfile::Fit;
Q_DECLARE_METATYPE(Fit)
Q_DECLARE_METATYPE(SettingsIdentity)

namespace {

const QByteArray ValidFile = R"({"format": "kova-settings", "version": 1,
    "device": {"name": "Vorn Kestrel 80", "id": 21, "hardware": 2, "bootloader": 3,
               "firmwareMajor": 4, "firmwareMinor": 12, "firmwareBuild": 7},
    "parameters": [{"name": "Motor timing", "cells": [11], "raw": 3, "shown": "15°"},
                   {"name": "Head speed", "cells": [19, 20], "raw": 2600, "shown": "2600 rpm"}]})";

const SettingsIdentity Kestrel{"Vorn Kestrel 80", {21, 2, 3, 4, 12, 7}};

}  // namespace

class CliPartsTest : public QObject
{
    Q_OBJECT

private slots:
    void options_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("command");  // empty: refused
        QTest::addColumn<QString>("port");
        QTest::addColumn<QStringList>("rest");

        QTest::newRow("info") << QStringList{"info"} << "info" << "" << QStringList();
        QTest::newRow("port name") << QStringList{"--port", "ttyUSB0", "read"} << "read" << "ttyUSB0" << QStringList();
        QTest::newRow("port path, equals") << QStringList{"--port=/dev/pts/3", "--json", "info"} << "info"
                                           << "/dev/pts/3" << QStringList();
        QTest::newRow("load flags") << QStringList{"load", "a.json", "--dry-run", "--force"} << "load" << ""
                                    << QStringList{"a.json"};
        QTest::newRow("set several") << QStringList{"set", "A=1", "B C=on"} << "set" << ""
                                     << QStringList{"A=1", "B C=on"};
        QTest::newRow("flash yes") << QStringList{"--yes", "flash", "p.upd"} << "flash" << "" << QStringList{"p.upd"};
        QTest::newRow("help alone") << QStringList{"--help"} << "" << "" << QStringList();
        QTest::newRow("flag of another command") << QStringList{"save", "a.json", "--dry-run"} << "" << ""
                                                 << QStringList();
        QTest::newRow("set without =") << QStringList{"set", "A"} << "" << "" << QStringList();
        QTest::newRow("set with empty name") << QStringList{"set", "=3"} << "" << "" << QStringList();
        QTest::newRow("save without file") << QStringList{"save"} << "" << "" << QStringList();
        QTest::newRow("info with argument") << QStringList{"info", "x"} << "" << "" << QStringList();
        QTest::newRow("unknown option") << QStringList{"--baud", "info"} << "" << "" << QStringList();
        QTest::newRow("unknown command") << QStringList{"erase"} << "" << "" << QStringList();
        QTest::newRow("no command") << QStringList{"--json"} << "" << "" << QStringList();
        QTest::newRow("port without value") << QStringList{"info", "--port"} << "" << "" << QStringList();
    }

    void options()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, command);
        QFETCH(QString, port);
        QFETCH(QStringList, rest);
        const ParsedOptions parsed = parseOptions(arguments);
        const bool help = arguments.contains("--help");
        QCOMPARE(parsed.ok(), !command.isEmpty() || help);
        QCOMPARE(parsed.error.isEmpty(), parsed.ok());
        if (!parsed.ok() || help)
            return;
        QCOMPARE(parsed.options.command, command);
        QCOMPARE(parsed.options.port, port);
        QCOMPARE(parsed.options.arguments, rest);
        QCOMPARE(parsed.options.dryRun, arguments.contains("--dry-run"));
        QCOMPARE(parsed.options.force, arguments.contains("--force"));
        QCOMPARE(parsed.options.yes, arguments.contains("--yes"));
        QCOMPARE(parsed.options.json, arguments.contains("--json"));
    }

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
        QTest::newRow("nameless parameter") << QByteArray("\"name\": \"Motor") << QByteArray("\"nom\": \"Motor");
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

    void settingsFileRoundTrip()
    {
        const settingsfile::Parsed parsed = settingsfile::fromJson(ValidFile);
        QVERIFY2(parsed.ok(), qPrintable(parsed.error));
        const settingsfile::Parsed again = settingsfile::fromJson(settingsfile::toJson(parsed.file));
        QVERIFY2(again.ok(), qPrintable(again.error));
        QCOMPARE(settingsfile::fitOf(again.file.device, Kestrel), Fit::SameDevice);
        QCOMPARE(again.file.parameters.size(), 2);
        QCOMPARE(again.file.parameters.at(1).name, QString("Head speed"));
        QCOMPARE(again.file.parameters.at(1).cells, QVector<int>({19, 20}));
        QCOMPARE(again.file.parameters.at(1).raw, 2600u);
        QCOMPARE(again.file.parameters.at(0).shown, QString("15°"));
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

    void progressBar_data()
    {
        QTest::addColumn<int>("done");
        QTest::addColumn<int>("total");
        QTest::addColumn<int>("elapsedMs");
        QTest::addColumn<QString>("bar");
        QTest::addColumn<QString>("line");

        QTest::newRow("start") << 0 << 64 << 0 << "[----------]  0/64 blocks   0% 0:00 elapsed -:-- remaining"
                               << "block 0 of 64 (0%), 0:00 elapsed";
        QTest::newRow("quarter") << 16 << 64 << 3000 << "[##--------] 16/64 blocks  25% 0:03 elapsed 0:09 remaining"
                                 << "block 16 of 64 (25%), 0:03 elapsed";
        QTest::newRow("minutes") << 63 << 64 << 125000 << "[#########-] 63/64 blocks  98% 2:05 elapsed 0:01 remaining"
                                 << "block 63 of 64 (98%), 2:05 elapsed";
        QTest::newRow("done") << 32 << 32 << 4800 << "[##########] 32/32 blocks 100% 0:04 elapsed 0:00 remaining"
                              << "block 32 of 32 (100%), 0:04 elapsed";
        QTest::newRow("no blocks") << 0 << 0 << 0 << "[##########] 0/0 blocks 100% 0:00 elapsed -:-- remaining"
                                   << "block 0 of 0 (100%), 0:00 elapsed";
    }

    void progressBar()
    {
        QFETCH(int, done);
        QFETCH(int, total);
        QFETCH(int, elapsedMs);
        QFETCH(QString, bar);
        QFETCH(QString, line);
        QCOMPARE(progressdisplay::bar(done, total, elapsedMs, 10), bar);
        QCOMPARE(progressdisplay::line(done, total, elapsedMs), line);
    }
};

QTEST_GUILESS_MAIN(CliPartsTest)
#include "tst_cliparts.moc"
