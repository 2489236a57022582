// "&Quit" ends the program within the worker's bound of 1000 ms, whatever
// the link is waiting for, and leaves the port free for a program started
// again at once. The program runs as a child process started as its main
// starts it; the simulated device runs here, in the test.
#include "support/windowharness.h"

#include <QAction>
#include <QApplication>
#include <QProcess>
#include <QSerialPort>
#include <QSocketNotifier>
#include <QStyleFactory>

#include <atomic>
#include <ctime>
#include <memory>

#include <unistd.h>

namespace {

using Protocol = SimulatedDevice::Protocol;

constexpr int QuitBoundMs = 1000;
constexpr int PageTimeoutMs = testsupport::ConditionWaitMs;

qint64 monotonicMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// The program, quitting by its "&Quit" command when a line comes on its
// standard input; it first says when, on its standard output.
int runProgram(int argc, char **argv)
{
    // The link's debug line for every ping would fill the test's log.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &context, const QString &message) {
        if (type != QtDebugMsg)
            qt_message_output(type, context, message);
    });
    QApplication application(argc, argv);
    if (QStyle *fusion = QStyleFactory::create("Fusion"))
        QApplication::setStyle(fusion);
    int result = 0;
    {
        MainWindow window;
        window.show();
        QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
        QObject::connect(&input, &QSocketNotifier::activated, &window, [&] {
            char line[16];
            if (read(STDIN_FILENO, line, sizeof line) <= 0)
                return;
            for (QAction *action : window.findChildren<QAction *>()) {
                if (action->text() == "&Quit") {
                    std::printf("quitting %lld\n", monotonicMs());
                    std::fflush(stdout);
                    action->trigger();
                }
            }
        });
        result = QApplication::exec();
    }
    return result;
}

bool portOpens(const QString &path)
{
    QSerialPort port;
    port.setPortName(path);
    return port.open(QIODevice::ReadWrite);
}

}  // namespace

class QuitTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<WindowHarness> h;
    QProcess program;

    void startProgram()
    {
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.start(QCoreApplication::applicationFilePath(), {"--as-program"});
        QVERIFY2(program.waitForStarted(), qPrintable(program.errorString()));
    }

    // A ping after the identity and the read of all cells: the page is
    // built and the link polls.
    void waitForPage(int parameterCells)
    {
        QTRY_VERIFY_WITH_TIMEOUT(pingAfterReads(h->sim, parameterCells), PageTimeoutMs);
    }

    static bool pingAfterReads(const SimulatedDevice &sim, int reads)
    {
        int seen = 0;
        for (const SimRequest &request : sim.requests()) {
            seen += request.kind == 'R' ? 1 : 0;
            if (request.kind == 'S' && request.answered && seen >= reads)
                return true;
        }
        return false;
    }

private slots:
    void cleanup()
    {
        if (program.state() != QProcess::NotRunning) {
            program.kill();
            program.waitForFinished();
        }
        h.reset();
    }

    void quitEndsTheProgramInTime_data()
    {
        QTest::addColumn<QString>("state");
        QTest::newRow("device answering, link idle") << "idle";
        QTest::newRow("cable pulled, a ping waits for its reply") << "ping";
        QTest::newRow("device gone in the read of all cells") << "read";
    }

    void quitEndsTheProgramInTime()
    {
        QFETCH(QString, state);
        const bool kelpa = state == "read";
        h = std::make_unique<WindowHarness>(kelpa ? "kelpa" : "vorn", kelpa ? Protocol::Kelpa : Protocol::Vorn);
        SimulatedDevice &sim = h->sim;
        const QString port = sim.portPath();
        QVERIFY(!port.isEmpty());

        auto lost = std::make_shared<std::atomic<bool>>(false);
        if (kelpa) {
            // Kelpa's parameters start at cell 0, after the identity cells.
            sim.setRequestListener([&sim, lost](const SimRequest &request) {
                if (request.kind == 'R' && request.cell == 0 && !lost->exchange(true))
                    sim.setUnplugged(true);
            });
        }
        startProgram();
        if (kelpa) {
            QTRY_VERIFY_WITH_TIMEOUT(lost->load(), PageTimeoutMs);
        } else {
            waitForPage(15);
            if (state == "ping") {
                sim.setUnplugged(true);
                sim.clearRawReceived();
                QTRY_VERIFY_WITH_TIMEOUT(!sim.rawReceived().isEmpty(), testsupport::ConditionWaitMs);
            }
        }
        QVERIFY2(!portOpens(port), "the program does not hold the port");

        QCOMPARE(program.write("quit\n"), qint64(5));
        QVERIFY(program.waitForReadyRead(testsupport::ConditionWaitMs));
        const QList<QByteArray> said = program.readLine().simplified().split(' ');
        QCOMPARE(said.value(0), QByteArray("quitting"));
        const qint64 quitMs = said.value(1).toLongLong();
        QVERIFY(program.waitForFinished(testsupport::ConditionWaitMs));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QVERIFY(portOpens(port));
        const qint64 tookMs = monotonicMs() - quitMs;
        qInfo("from Quit to a free port: %lld ms", tookMs);
        QVERIFY2(tookMs <= QuitBoundMs, qPrintable(QString("from Quit to a free port: %1 ms").arg(tookMs)));
        sim.setRequestListener({});
    }
};

int main(int argc, char **argv)
{
    if (argc == 2 && qstrcmp(argv[1], "--as-program") == 0)
        return runProgram(argc, argv);
    QCoreApplication application(argc, argv);
    QuitTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_quit.moc"
