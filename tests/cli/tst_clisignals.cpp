// kova-cli as a process, for what only a process meets: Ctrl+C, SIGTERM and
// SIGHUP at the prompt and during an upload, and output that must have left
// before the program is killed. The simulated controller runs in this test.
#include "simulateddevice.h"
#include "support/exampledevice.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

#include <sys/types.h>

namespace {

int blocksSent(const SimulatedDevice &sim)
{
    int count = 0;
    for (const SimRequest &request : sim.requests())
        count += request.kind == 'F' || request.kind == 'U' ? 1 : 0;
    return count;
}

// Whether the process has its own handler for `number` (the SigCgt mask of
// its status): from then on a signal is its to answer.
bool catches(qint64 pid, int number)
{
    QFile status(QString("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("SigCgt:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (number - 1)) & 1;
    return false;
}

}  // namespace

class CliSignalsTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<SimulatedDevice> sim;
    std::unique_ptr<QProcess> cli;
    QString errors;

    // The Vorn example controller on the simulated cable; after an upload of
    // its 32 blocks it runs the package's firmware, unless it keeps its own.
    void startFlash(const QStringList &extra, bool takesTheFirmware = true)
    {
        sim = std::make_unique<SimulatedDevice>();
        sim->setCells(testsupport::exampleCells("vorn"));
        sim->attachDevice(SimulatedDevice::Protocol::Vorn);
        sim->setBlockSize(256);
        sim->setKeepsVersion(!takesTheFirmware);
        errors.clear();
        cli = std::make_unique<QProcess>();
        connect(cli.get(), &QProcess::readyReadStandardError, this,
                [this] { errors += QString::fromLocal8Bit(cli->readAllStandardError()); });
        cli->start(KOVA_CLI_PROGRAM,
                   QStringList{"--port", sim->portPath(), "--description", testsupport::exampleDescription("vorn"),
                               "flash", testsupport::examplePackage("vorn-4.13.upd")}
                       + extra);
        QVERIFY(cli->waitForStarted(testsupport::ConditionWaitMs));
    }

    void send(int number) { QCOMPARE(::kill(pid_t(cli->processId()), number), 0); }

    // The exit status, or -1 when the program died of a signal or did not end.
    int exitStatus(int timeoutMs)
    {
        if (!QTest::qWaitFor([this] { return cli->state() == QProcess::NotRunning; }, timeoutMs)) {
            cli->kill();
            cli->waitForFinished(2000);
            return -1;
        }
        errors += QString::fromLocal8Bit(cli->readAllStandardError());
        return cli->exitStatus() == QProcess::NormalExit ? cli->exitCode() : -1;
    }

private slots:
    void cleanup()
    {
        if (cli && cli->state() != QProcess::NotRunning) {
            cli->kill();
            cli->waitForFinished(2000);
        }
        cli.reset();
        sim.reset();
    }

    void atThePrompt_data()
    {
        QTest::addColumn<int>("signalNumber");  // 0: an answer instead
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("said");
        QTest::newRow("Ctrl+C") << SIGINT << QByteArray() << 130 << "Stopped by Ctrl+C before the upload";
        QTest::newRow("SIGTERM") << SIGTERM << QByteArray() << 143 << "Stopped by SIGTERM before the upload";
        QTest::newRow("SIGHUP") << SIGHUP << QByteArray() << 129 << "Stopped by SIGHUP before the upload";
        QTest::newRow("declined") << 0 << QByteArray("n\n") << 1 << "Nothing was flashed.";
        QTest::newRow("input ends") << 0 << QByteArray() << 1 << "Nothing was flashed.";
    }

    void atThePrompt()
    {
        QFETCH(int, signalNumber);
        QFETCH(QByteArray, answer);
        QFETCH(int, status);
        QFETCH(QString, said);
        startFlash({});
        QTRY_VERIFY_WITH_TIMEOUT(errors.contains("[y/N]"), testsupport::ConditionWaitMs);
        if (signalNumber != 0)
            send(signalNumber);
        else if (answer.isEmpty())
            cli->closeWriteChannel();
        else
            cli->write(answer);
        QCOMPARE(exitStatus(testsupport::ConditionWaitMs), status);
        QVERIFY2(errors.contains(said), qPrintable(errors));
        QCOMPARE(blocksSent(*sim), 0);
    }

    // Standard input that never ends ("-" for a file) is a wait like the
    // prompt: a signal ends it, with its status, before the port is used.
    void standardInputThatNeverEnds_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("signalNumber");
        QTest::addColumn<int>("status");
        QTest::newRow("load, SIGTERM") << "load" << SIGTERM << 143;
        QTest::newRow("diff, SIGHUP") << "diff" << SIGHUP << 129;
        QTest::newRow("check, Ctrl+C") << "check" << SIGINT << 130;
    }

    void standardInputThatNeverEnds()
    {
        QFETCH(QString, command);
        QFETCH(int, signalNumber);
        QFETCH(int, status);
        QTemporaryDir folder;
        errors.clear();
        cli = std::make_unique<QProcess>();
        cli->start(KOVA_CLI_PROGRAM, {"--port", folder.filePath("no-such-port"), command, "-"});
        QVERIFY(cli->waitForStarted(5000));
        QTRY_VERIFY_WITH_TIMEOUT(catches(cli->processId(), signalNumber), 20000);
        send(signalNumber);
        QCOMPARE(exitStatus(30000), status);
        QVERIFY2(errors.contains("Stopped by "), qPrintable(errors));
    }

    // The upload is bounded; cutting it leaves the controller unusable.
    // "Flashed" only for an upload that ended with the package's version.
    void duringTheUpload_data()
    {
        QTest::addColumn<QList<int>>("strikes");
        QTest::addColumn<bool>("takesTheFirmware");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("allBlocks");
        QTest::addColumn<QString>("said");
        QTest::addColumn<QString>("printed");  // the last line on standard output about the package
        const QString sent = "Sent: " + testsupport::examplePackage("vorn-4.13.upd");
        const QString flashed = "Flashed: " + testsupport::examplePackage("vorn-4.13.upd");
        QTest::newRow("Ctrl+C once only warns") << QList<int>{SIGINT} << true << 0 << true
                                                << "Press Ctrl+C again to stop after the current block." << flashed;
        QTest::newRow("Ctrl+C twice stops between blocks")
            << QList<int>{SIGINT, SIGINT} << true << 130 << false << "Upload stopped between blocks after"
            << "";
        QTest::newRow("SIGTERM waits for the end")
            << QList<int>{SIGTERM} << true << 143 << true
            << "Stopped by SIGTERM, which came during the upload and waited for its end; the firmware version "
               "was not checked."
            << sent;
        QTest::newRow("SIGHUP waits for the end")
            << QList<int>{SIGHUP} << true << 129 << true << "Stopped by SIGHUP, which came during the upload" << sent;
        QTest::newRow("Ctrl+C, then SIGTERM")
            << QList<int>{SIGINT, SIGTERM} << true << 143 << true << "Stopped by SIGTERM" << sent;
        QTest::newRow("nothing, the old firmware stays")
            << QList<int>{} << false << 6 << true
            << "The device reports firmware 4.12.7 after the upload, not 4.13 of the package." << sent;
    }

    void duringTheUpload()
    {
        QFETCH(QList<int>, strikes);
        QFETCH(bool, takesTheFirmware);
        QFETCH(int, status);
        QFETCH(bool, allBlocks);
        QFETCH(QString, said);
        QFETCH(QString, printed);
        startFlash({"--yes"}, takesTheFirmware);
        QTRY_VERIFY_WITH_TIMEOUT(blocksSent(*sim) >= 4, testsupport::ConditionWaitMs);
        for (const int number : strikes) {
            const int before = blocksSent(*sim);
            send(number);
            // One block later the program has seen it.
            QTRY_VERIFY_WITH_TIMEOUT(blocksSent(*sim) > before || cli->state() == QProcess::NotRunning,
                                     testsupport::ConditionWaitMs);
        }
        QCOMPARE(exitStatus(testsupport::ConditionWaitMs), status);
        QVERIFY2(errors.contains(said), qPrintable(errors));
        const QString output = QString::fromLocal8Bit(cli->readAllStandardOutput());
        const QStringList aboutThePackage = output.split('\n').filter(QRegularExpression("^(Sent|Flashed): "));
        QCOMPARE(aboutThePackage.isEmpty() ? QString() : aboutThePackage.last(), printed);
        QCOMPARE(sim->receivedBlocks().size() == 32, allBlocks);
        if (!allBlocks)
            QVERIFY(sim->receivedBlocks().size() > 4);
    }

    // Each line leaves as it is written: what a killed program had done is
    // still on the terminal or in the log.
    void outputLeavesAsItIsWritten()
    {
        startFlash({"--yes"});
        // The first identity read after the last block: "Sent" is out by then.
        SimulatedDevice *device = sim.get();
        const qint64 pid = cli->processId();
        device->setRequestListener([device, pid](const SimRequest &request) {
            if (request.kind == 'R' && request.cell == 200 && device->receivedBlocks().size() == 32)
                ::kill(pid_t(pid), SIGKILL);
        });
        QCOMPARE(exitStatus(30000), -1);
        const QString output = QString::fromLocal8Bit(cli->readAllStandardOutput());
        QVERIFY2(output.contains("Sent: " + testsupport::examplePackage("vorn-4.13.upd")), qPrintable(output));
    }
};

QTEST_GUILESS_MAIN(CliSignalsTest)
#include "tst_clisignals.moc"
