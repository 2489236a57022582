#include "support/descriptionfiles.h"

#include "description/descriptionlookup.h"
#include "description/descriptionreader.h"

#include <QTest>

using namespace descriptionfiles;

Q_DECLARE_METATYPE(std::optional<DescriptionIdentity>)

// The description model on its own: no widgets linked.
class TestDescriptionModel : public QObject
{
    Q_OBJECT

private slots:
    // "devices" lists each description read as "name:parameter count".
    void readsDevices_data()
    {
        QTest::addColumn<QString>("content");
        QTest::addColumn<std::optional<DescriptionIdentity>>("wanted");
        QTest::addColumn<QStringList>("devices");

        const QString range = "<Parameter type=\"range\" name=\"R\" cell=\"1\"/>";
        const QString two = device(1, 2, 3, 4, "A", range) + device(5, 6, 7, 8, "B", range + range);
        QTest::newRow("every description")
            << document(two) << std::optional<DescriptionIdentity>() << QStringList{"A:1", "B:2"};
        QTest::newRow("the matching one")
            << document(two) << std::optional<DescriptionIdentity>({5, 6, 7, 8}) << QStringList{"B:2"};
        QTest::newRow("none matching") << document(two) << std::optional<DescriptionIdentity>({5, 6, 7, 9})
                                       << QStringList();
        QTest::newRow("nested description ends the one before and is read")
            << document(device(1, 2, 3, 4, "A", range + device(5, 6, 7, 8, "B", range)))
            << std::optional<DescriptionIdentity>() << QStringList{"A:1", "B:1"};
    }

    void readsDevices()
    {
        QFETCH(QString, content);
        QFETCH(std::optional<DescriptionIdentity>, wanted);
        QFETCH(QStringList, devices);

        QStringList read;
        for (const DeviceDescription &device : descriptionreader::read(content.toUtf8(), wanted))
            read << QString("%1:%2").arg(device.name).arg(device.parameters.size());
        QCOMPARE(read, devices);
    }

    void readsEveryAttribute()
    {
        const QString parameters = "<Parameter type=\"range\" name=\"T\" cell=\"20\" hcell=\"21\" depcell=\"4\""
                                   " depval=\"1\" offset=\"40\" scale=\"0\" shift=\"2\" min=\"-40\" max=\"120.5\""
                                   " step=\"0.5\" decimals=\"1\" suffix=\" C\"/>"
                                   "<Parameter type=\"list\" name=\"L\" cell=\"3\"><Value string=\"a\"/>"
                                   "<Value string=\"b\"/></Parameter>"
                                   "<Parameter type=\"range\" name=\"Wide\" cell=\"4\" min=\"-1e300\" max=\"1e300\""
                                   " step=\"1e20\" decimals=\"400\"/>";
        const QVector<DeviceDescription> devices = descriptionreader::read(
            document(device(1, 2, 3, 4, "Dev", parameters, "fwnp=\"300\" fwps=\"64\"")).toUtf8());
        QCOMPARE(devices.size(), 1);
        const DeviceDescription &dev = devices[0];
        QVERIFY(dev.identity == (DescriptionIdentity{1, 2, 3, 4}));
        QCOMPARE(dev.pageCount, 300u);
        QCOMPARE(dev.pageSize, 64u);
        QCOMPARE(dev.parameters.size(), 3);
        const ParameterDescription &t = dev.parameters[0];
        QCOMPARE(int(t.kind), int(ParameterKind::Range));
        QCOMPARE(t.name, QString("T"));
        QCOMPARE(t.cell, 20);
        QCOMPARE(t.hcell, 21);
        QVERIFY(t.usesHighCell());
        QCOMPARE(t.depcell, 4);
        QCOMPARE(t.depval, 1);
        QCOMPARE(t.offset, 40.0);
        QCOMPARE(t.scale, 1.0);
        QCOMPARE(t.shift, 2.0);
        QCOMPARE(t.min, -40.0);
        QCOMPARE(t.max, 120.5);
        QCOMPARE(t.step, 0.5);
        QCOMPARE(t.decimals, 1u);
        QCOMPARE(t.suffix, QString(" C"));
        QCOMPARE(dev.parameters[1].entries, (QStringList{"a", "b"}));
        // Bounded: their text would take long to lay out.
        const ParameterDescription &wide = dev.parameters[2];
        QCOMPARE(wide.min, -descriptionreader::MaxShownNumber);
        QCOMPARE(wide.max, descriptionreader::MaxShownNumber);
        QCOMPARE(wide.step, descriptionreader::MaxShownNumber);
        QCOMPARE(wide.decimals, descriptionreader::MaxDecimals);
    }

    // A file in a declared single-byte encoding reads as the same text with
    // either toolkit; "word" is the encoded bytes of "text".
    void readsDeclaredEncodings_data()
    {
        QTest::addColumn<QByteArray>("encoding");
        QTest::addColumn<QByteArray>("word");
        QTest::addColumn<QString>("text");

        const QString brake = QString::fromUtf8("\u0422\u043e\u0440\u043c\u043e\u0437");
        QTest::newRow("windows-1251") << QByteArray("windows-1251") << QByteArray("\xd2\xee\xf0\xec\xee\xe7") << brake;
        QTest::newRow("koi8-r") << QByteArray("KOI8-R") << QByteArray("\xf4\xcf\xd2\xcd\xcf\xda") << brake;
        QTest::newRow("iso-8859-5") << QByteArray("iso-8859-5") << QByteArray("\xc2\xde\xe0\xdc\xde\xd7") << brake;
        QTest::newRow("ibm866") << QByteArray("ibm866") << QByteArray("\x92\xae\xe0\xac\xae\xa7") << brake;
        QTest::newRow("iso-8859-1") << QByteArray("ISO-8859-1") << QByteArray("R\xe9gime")
                                    << QString::fromUtf8("R\u00e9gime");
    }

    void readsDeclaredEncodings()
    {
        QFETCH(QByteArray, encoding);
        QFETCH(QByteArray, word);
        QFETCH(QString, text);

        QByteArray content = document(device(1, 2, 3, 4, "@",
                                             "<Parameter type=\"list\" name=\"@\" cell=\"1\" suffix=\" @\">"
                                             "<Value string=\"@\"/></Parameter>"))
                                 .toLatin1();
        content.replace("UTF-8", encoding).replace("@", word);
        descriptionreader::ContentRefusal refusal = descriptionreader::ContentRefusal::None;
        const QVector<DeviceDescription> devices = descriptionreader::read(content, {}, &refusal);
        QCOMPARE(int(refusal), int(descriptionreader::ContentRefusal::None));
        QCOMPARE(devices.size(), 1);
        QCOMPARE(devices[0].name, text);
        QCOMPARE(devices[0].parameters.size(), 1);
        const ParameterDescription &list = devices[0].parameters[0];
        QCOMPARE(list.name, text);
        QCOMPARE(list.suffix, " " + text);
        QCOMPARE(list.entries, QStringList{text});
    }

    void explicitFile()
    {
        removeAll();
        writePrimary(document(device(1, 2, 3, 4, "Primary")));
        writeFile("own.xml", document(device(1, 2, 3, 4, "Own")).toUtf8());

        descriptionlookup::Result result = descriptionlookup::findIn("own.xml", {1, 2, 3, 4});
        QCOMPARE(int(result.outcome), int(descriptionlookup::Result::Found));
        QCOMPARE(result.device.name, QString("Own"));
        QCOMPARE(result.file, QString("own.xml"));

        QTest::ignoreMessage(QtDebugMsg, "Error: Cannot read file Tellur.dsc :  \"No such file or directory\"");
        result = descriptionlookup::findIn("missing.xml", {1, 2, 3, 4});
        QCOMPARE(int(result.outcome), int(descriptionlookup::Result::CannotOpen));
        QCOMPARE(result.file, QString("missing.xml"));
        QCOMPARE(result.error, QString("No such file or directory"));
        removeAll();
        QFile::remove("own.xml");
    }
};

QTEST_GUILESS_MAIN(TestDescriptionModel)
#include "tst_descriptionmodel.moc"
