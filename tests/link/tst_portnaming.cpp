// The port a user names, told from a list of ports and links the test lays
// out, and what sysfs says of the USB adapter behind a port.
#include "link/portnaming.h"

#include <QtTest>

Q_DECLARE_METATYPE(PortChoice::Outcome)

namespace {

UsbFacts withSerial(const QString &serialNumber)
{
    UsbFacts facts;
    facts.serialNumber = serialNumber;
    return facts;
}

const QVector<PortRecord> Ports{
    {"ttyUSB0", "/dev/ttyUSB0", withSerial("A1B2C3")},
    {"ttyUSB1", "/dev/ttyUSB1", withSerial("TWIN")},
    {"ttyUSB2", "/dev/ttyUSB2", withSerial("TWIN")},
    {"ttyACM0", "/dev/ttyACM0", UsbFacts()},
};

const QString ById = QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0");

QString fakeLinkTarget(const QString &path)
{
    const QMap<QString, QString> links{
        {ById, "/dev/ttyUSB0"},
        {"/dev/kova-cable", "/dev/pts/7"},
    };
    return links.value(path);
}

}  // namespace

class PortNamingTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir root;

    // A USB device in the fake sysfs with the given attributes, and a tty
    // whose device is `ttyDevice` below it.
    void addUsbTty(const QString &port, const QString &usbDevice, const QString &ttyDevice,
                   const QMap<QString, QByteArray> &attributes)
    {
        const QString device = root.filePath("sys/devices/" + usbDevice);
        QVERIFY(QDir().mkpath(device + "/" + ttyDevice));
        for (auto attribute = attributes.begin(); attribute != attributes.end(); ++attribute) {
            QFile file(device + "/" + attribute.key());
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(attribute.value());
        }
        addTty(port, device + "/" + ttyDevice);
    }

    void addTty(const QString &port, const QString &device)
    {
        const QString tty = root.filePath("sys/class/tty/" + port);
        QVERIFY(QDir().mkpath(tty));
        QVERIFY(QFile::link(device, tty + "/device"));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(root.isValid());
        const QMap<QString, QByteArray> adapter{{"idVendor", "0403\n"},
                                                {"idProduct", "6001\n"},
                                                {"manufacturer", "FTDI\n"},
                                                {"product", "FT232R USB UART\n"},
                                                {"serial", "A1B2C3\n"}};
        addUsbTty("ttyUSB0", "pci0000:00/0000:00:14.0/usb1/1-1", "1-1:1.0/ttyUSB0", adapter);
        addUsbTty("ttyACM0", "pci0000:00/0000:00:14.0/usb1/1-2", "1-2:1.0",
                  {{"idVendor", "2341\n"}, {"idProduct", "0043\n"}});
        QVERIFY(QDir().mkpath(root.filePath("sys/devices/platform/serial8250/tty/ttyS0")));
        addTty("ttyS0", root.filePath("sys/devices/platform/serial8250"));
    }

    void resolution_data()
    {
        QTest::addColumn<QString>("named");
        QTest::addColumn<PortChoice::Outcome>("outcome");
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QStringList>("sharing");

        const auto found = PortChoice::Outcome::Found;
        const auto none = PortChoice::Outcome::NoSuchSerial;
        QTest::newRow("port name") << "ttyUSB1" << found << "ttyUSB1"
                                   << "ttyUSB1" << QStringList();
        QTest::newRow("device path") << "/dev/ttyUSB1" << found << "/dev/ttyUSB1"
                                     << "/dev/ttyUSB1" << QStringList();
        QTest::newRow("port the system does not list") << "/dev/pts/3" << found << "/dev/pts/3"
                                                       << "/dev/pts/3" << QStringList();
        QTest::newRow("serial number") << "serial:A1B2C3" << found << "ttyUSB0"
                                       << "ttyUSB0" << QStringList();
        QTest::newRow("serial number no port has")
            << "serial:FFFFFF" << none << QString() << QString() << QStringList();
        QTest::newRow("serial number in another case")
            << "serial:a1b2c3" << none << QString() << QString() << QStringList();
        QTest::newRow("no serial number") << "serial:" << none << QString() << QString() << QStringList();
        QTest::newRow("serial number two ports share") << "serial:TWIN" << PortChoice::Outcome::SharedSerial
                                                       << QString() << QString() << QStringList{"ttyUSB1", "ttyUSB2"};
        QTest::newRow("by-id link") << ById << found << "ttyUSB0" << ById << QStringList();
        QTest::newRow("by-id link below /dev") << ById.mid(5) << found << "ttyUSB0" << ById.mid(5) << QStringList();
        QTest::newRow("link to a port the system does not list") << "/dev/kova-cable" << found << "/dev/pts/7"
                                                                 << "/dev/kova-cable" << QStringList();
    }

    void resolution()
    {
        QFETCH(QString, named);
        QFETCH(PortChoice::Outcome, outcome);
        QFETCH(QString, port);
        QFETCH(QString, shown);
        QFETCH(QStringList, sharing);
        const PortChoice choice = resolvePortName(named, Ports, fakeLinkTarget);
        QCOMPARE(choice.outcome, outcome);
        QCOMPARE(choice.port, port);
        QCOMPARE(choice.shown, shown);
        QCOMPARE(choice.sharing, sharing);
        QCOMPARE(choice.serialNumber, named.startsWith("serial:") ? named.mid(7) : QString());
    }

    // What the completion offers can be named: a serial number two ports
    // share is left out.
    void offeredSpecsFindTheirPort()
    {
        const QStringList forms = portForms(Ports);
        QCOMPARE(forms, (QStringList{"ttyUSB0", "ttyUSB1", "ttyUSB2", "ttyACM0", "serial:A1B2C3"}));
        for (const QString &named : forms)
            QCOMPARE(resolvePortName(named, Ports, fakeLinkTarget).outcome, PortChoice::Outcome::Found);
    }

    void realLinkFindsItsDevice()
    {
        const QString device = root.filePath("device");
        QFile file(device);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(QFile::link(device, root.filePath("link")));
        QCOMPARE(symbolicLinkTarget(root.filePath("link")), QFileInfo(device).canonicalFilePath());
        QCOMPARE(symbolicLinkTarget(device), QString());
        QVERIFY(QFile::link(root.filePath("missing"), root.filePath("dangling")));
        QCOMPARE(symbolicLinkTarget(root.filePath("dangling")), QString());
    }

    void sysfsFacts_data()
    {
        QTest::addColumn<QString>("port");
        // "vendor:product" ("-" where unknown), manufacturer, product, serial number
        QTest::addColumn<QStringList>("facts");

        QTest::newRow("USB-serial adapter")
            << "ttyUSB0" << QStringList{"0403:6001", "FTDI", "FT232R USB UART", "A1B2C3"};
        QTest::newRow("ACM interface without strings") << "ttyACM0" << QStringList{"2341:0043", "", "", ""};
        QTest::newRow("built-in port") << "ttyS0" << QStringList{"-:-", "", "", ""};
        QTest::newRow("no such tty") << "ttyUSB9" << QStringList{"-:-", "", "", ""};
    }

    void sysfsFacts()
    {
        QFETCH(QString, port);
        QFETCH(QStringList, facts);
        const UsbFacts usb = sysfsUsbFacts(port, root.filePath("sys"));
        const auto hex = [](std::optional<quint16> id) {
            return id ? QString("%1").arg(*id, 4, 16, QLatin1Char('0')) : QStringLiteral("-");
        };
        QCOMPARE((QStringList{hex(usb.vendorId) + ":" + hex(usb.productId), usb.manufacturer, usb.product,
                              usb.serialNumber}),
                 facts);
        QCOMPARE(usb.isEmpty(), facts == QStringList({"-:-", "", "", ""}));
    }
};

QTEST_GUILESS_MAIN(PortNamingTest)
#include "tst_portnaming.moc"
