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

}  // namespace

class CliSignalsTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<SimulatedDevice> sim;
    std::unique_ptr<QProcess> cli;
    QString errors;

    // The Vorn example controller on the simulated cable; after an upload of
    // its 32 blocks it runs the package's firmware.
    void startFlash(const QStringList &extra)
    {
        sim = std::make_unique<SimulatedDevice>();
        sim->setCells(testsupport::exampleCells("vorn"));
        sim->attachDevice(SimulatedDevice::Protocol::Vorn);
        sim->setBlockSize(256);
        sim->setFirmwareAfterUpload(4, 13, 0, 32);
        errors.clear();
        cli = std::make_unique<QProcess>();
        connect(cli.get(), &QProcess::readyReadStandardError, this,
                [this] { errors += QString::fromLocal8Bit(cli->readAllStandardError()); });
        cli->start(KOVA_CLI_PROGRAM, QStringList{"--port", sim->portPath(), "--description",
                                         testsupport::exampleDescription("vorn"), "flash",
                                         testsupport::examplePackage("vorn-4.13.upd")}
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

    // The upload is bounded; cutting it leaves the controller unusable.
    void duringTheUpload_data()
    {
        QTest::addColumn<QList<int>>("strikes");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("allBlocks");
        QTest::addColumn<QString>("said");
        QTest::newRow("Ctrl+C once only warns") << QList<int>{SIGINT} << 0 << true
                                                << "Press Ctrl+C again to stop after the current block.";
        QTest::newRow("Ctrl+C twice stops between blocks") << QList<int>{SIGINT, SIGINT} << 130 << false
                                                           << "Upload stopped between blocks after";
        QTest::newRow("SIGTERM waits for the end")
            << QList<int>{SIGTERM} << 143 << true
            << "Stopped by SIGTERM, which came during the upload and waited for its end";
        QTest::newRow("SIGHUP waits for the end")
            << QList<int>{SIGHUP} << 129 << true << "Stopped by SIGHUP, which came during the upload";
        QTest::newRow("Ctrl+C, then SIGTERM")
            << QList<int>{SIGINT, SIGTERM} << 143 << true << "Stopped by SIGTERM";
    }

    void duringTheUpload()
    {
        QFETCH(QList<int>, strikes);
        QFETCH(int, status);
        QFETCH(bool, allBlocks);
        QFETCH(QString, said);
        startFlash({"--yes"});
        QTRY_VERIFY_WITH_TIMEOUT(blocksSent(*sim) >= 4, testsupport::ConditionWaitMs);
        for (const int number : strikes) {
            const int before = blocksSent(*sim);
            send(number);
            // One block later the program has seen it.
            QTRY_VERIFY_WITH_TIMEOUT(blocksSent(*sim) > before || cli->state() == QProcess::NotRunning, testsupport::ConditionWaitMs);
        }
        QCOMPARE(exitStatus(testsupport::ConditionWaitMs), status);
        QVERIFY2(errors.contains(said), qPrintable(errors));
        QCOMPARE(sim->receivedBlocks().size() == 32, allBlocks);
        if (!allBlocks)
            QVERIFY(sim->receivedBlocks().size() > 4);
    }

    // Each line leaves as it is written: what a killed program had done is
    // still on the terminal or in the log.
    void outputLeavesAsItIsWritten()
    {
        startFlash({"--yes"});
        // The first identity read after the last block: "Flashed" is out by then.
        SimulatedDevice *device = sim.get();
        const qint64 pid = cli->processId();
        device->setRequestListener([device, pid](const SimRequest &request) {
            if (request.kind == 'R' && request.cell == 200 && device->receivedBlocks().size() == 32)
                ::kill(pid_t(pid), SIGKILL);
        });
        QCOMPARE(exitStatus(30000), -1);
        const QString output = QString::fromLocal8Bit(cli->readAllStandardOutput());
        QVERIFY2(output.contains("Flashed: " + testsupport::examplePackage("vorn-4.13.upd")), qPrintable(output));
    }
};

QTEST_GUILESS_MAIN(CliSignalsTest)
#include "tst_clisignals.moc"
