// Opening the line and watching it go, on the simulated cable's
// pseudo-terminal through the real QSerialPort.
#include "link/serialline.h"
#include "simulateddevice.h"
#include "support/testsupport.h"

#include <QSerialPort>
#include <QtTest>

class SerialLineTest : public QObject
{
    Q_OBJECT

private slots:
    // A pseudo-terminal has no latency timer to shorten: the request is
    // refused, and the port opens as if it had not been made.
    void lowLatencyRefusedQuietly()
    {
        SimulatedDevice sim;
        QSerialPort port;
        testsupport::WarningCatcher catcher;
        QCOMPARE(openLine(port, sim.portPath(), LinkBaudRate), OpenOutcome::Opened);
        QVERIFY(!requestLowLatency(port));
        QCOMPARE(port.error(), QSerialPort::NoError);
        QCOMPARE(catcher.warnings(), QStringList());
    }

    void goneOnlyWhenTheDeviceHasLeft()
    {
        SimulatedDevice sim;
        QSerialPort port;
        QCOMPARE(openLine(port, sim.portPath(), LinkBaudRate), OpenOutcome::Opened);
        // Errors that leave the device in place are no reason.
        port.waitForReadyRead(10);
        QCOMPARE(port.error(), QSerialPort::TimeoutError);
        QVERIFY(!portDeviceGone(port));
        port.setBaudRate(-1);
        QVERIFY(port.error() != QSerialPort::NoError);
        QVERIFY(!portDeviceGone(port));

        sim.setPortGone(true);
        // The port tells only once it is used.
        port.clear(QSerialPort::AllDirections);
        QVERIFY(portDeviceGone(port));
        port.close();
        QVERIFY(!portDeviceGone(port));
    }
};

QTEST_GUILESS_MAIN(SerialLineTest)
#include "tst_serialline.moc"
