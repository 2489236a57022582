#include "controlreceiver.h"
#include "support/descriptionfiles.h"

#include "app/parameterpage.h"
#include "device/deviceimage.h"
#include "params/mcheckbox.h"
#include "params/mcombobox.h"
#include "params/mspinbox.h"
#include "description/descriptionreader.h"
#include "description/valuecodec.h"
#include "description/valuetext.h"
#include "params/xmlcontrolsreader.h"

#include <QFile>
#include <QMap>
#include <QSet>
#include <QTest>
#include <QTreeWidget>

namespace {

enum class Family { Vorn, KelpaOrUlma };

QString examplePath(const QString &relative)
{
    return QString::fromLocal8Bit(qgetenv("KOVA_SOURCE_DIR")) + QStringLiteral("/examples/") + relative;
}

// "cell value" lines in decimal; '#' starts a comment.
QMap<int, int> readCells(const QString &path, QString *error)
{
    QMap<int, int> cells;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *error = path + ": " + file.errorString();
        return cells;
    }
    int lineNumber = 0;
    while (!file.atEnd()) {
        ++lineNumber;
        const QString line = QString::fromUtf8(file.readLine()).section('#', 0, 0).simplified();
        if (line.isEmpty())
            continue;
        const QStringList fields = line.split(' ');
        bool cellOk = false, valueOk = false;
        const int cell = fields.value(0).toInt(&cellOk);
        const int value = fields.value(1).toInt(&valueOk);
        if (fields.size() != 2 || !cellOk || !valueOk || !hasCellSlot(cell) || value < 0 || value > 255
            || cells.contains(cell)) {
            *error = QStringLiteral("%1:%2: bad line \"%3\"").arg(path).arg(lineNumber).arg(line);
            return cells;
        }
        cells.insert(cell, value);
    }
    return cells;
}

QList<int> identityCells(Family family)
{
    return family == Family::Vorn ? QList<int>{200, 202, 203, 205, 206, 212} : QList<int>{64, 65, 66};
}

// What the device link's identity read leaves in the image.
void identify(DeviceImage &image, Family family, const QMap<int, int> &cells)
{
    if (family == Family::Vorn) {
        image.deviceId = quint8(cells.value(200));
        image.hwVersion = quint8(cells.value(202));
        image.blVersion = quint8(cells.value(203));
        image.fwMajor = quint8(cells.value(205));
        image.fwMinor = quint8(cells.value(206));
        image.fwBuild = quint8(cells.value(212));
    } else {
        image.deviceId = quint8(cells.value(64));
        image.fwMajor = quint8(cells.value(65));
        image.fwMinor = quint8(cells.value(66));
        image.hwVersion = 1;
        image.blVersion = 1;
    }
}

template <typename Control>
quint32 rawOf(const Control &control, const QMap<int, int> &cells)
{
    const int high = control.hcell > 0 ? cells.value(control.hcell) : 0;
    return valuecodec::rawFromCells(quint8(cells.value(control.cell)), quint8(high));
}

template <typename Control>
valuecodec::Conversion conversionOf(const Control &control)
{
    return {control.offset, control.scale, control.shift};
}

// What the examples show between them, so that together they exercise
// every part of the description grammar.
struct Coverage {
    bool list = false, range = false, check = false;
    bool highCell = false, offset = false, scale = false, shift = false;
    bool decimals = false, suffix = false;
    bool listOnListInverted = false, listOnListPlain = false, rangeOnList = false;
};

}  // namespace

Q_DECLARE_METATYPE(Family)

class TestExampleDescriptions : public QObject
{
    Q_OBJECT

    DeviceImage image;
    ControlReceiver receiver;
    QTreeWidget *tree = nullptr;
    Coverage coverage;  // gathered over all examples

    QWidget *controlAt(int row) const { return tree->itemWidget(tree->topLevelItem(row), 1); }

    QWidget *controlOnCell(int cell) const
    {
        for (int row = 0; row < tree->topLevelItemCount(); ++row) {
            QWidget *control = controlAt(row);
            if (auto *list = qobject_cast<MComboBox *>(control); list && list->cell == cell)
                return list;
            if (auto *range = qobject_cast<MSpinBox *>(control); range && range->cell == cell)
                return range;
        }
        return nullptr;
    }

    // Reads the device's cells and finds its description by their identity.
    // A failure is left for the caller to see in QTest::currentTestFailed().
    void loadExample(const QString &device, Family family, QMap<int, int> *cells)
    {
        QString error;
        *cells = readCells(examplePath("devices/" + device + ".cells"), &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        identify(image, family, *cells);
        descriptionfiles::removeAll();
        QVERIFY(QFile::copy(examplePath("descriptions/" + device + ".dsc"), descriptionfiles::Primary));
        XmlControlsReader reader(&receiver, tree, &image);
        QVERIFY(reader.readDescription());
    }

    void noteCoverage()
    {
        for (int row = 0; row < tree->topLevelItemCount(); ++row) {
            QWidget *control = controlAt(row);
            if (auto *list = qobject_cast<MComboBox *>(control)) {
                coverage.list = true;
                noteConversion(*list);
                if (list->depcell != 0)
                    noteDependency(list, list->depcell);
            } else if (auto *range = qobject_cast<MSpinBox *>(control)) {
                coverage.range = true;
                noteConversion(*range);
                coverage.decimals |= range->decimals() > 0;
                coverage.suffix |= !range->suffix().isEmpty();
                if (range->depcell != 0)
                    noteDependency(range, range->depcell);
            } else if (qobject_cast<MCheckBox *>(control)) {
                coverage.check = true;
            }
        }
    }

    template <typename Control>
    void noteConversion(const Control &control)
    {
        coverage.highCell |= control.hcell > 0;
        coverage.offset |= control.offset != 0;
        coverage.scale |= control.scale != 1;
        coverage.shift |= control.shift != 0;
    }

    void noteDependency(QWidget *dependent, int depcell)
    {
        QWidget *source = controlOnCell(depcell == 1000 ? 0 : depcell);
        QVERIFY2(source, "a dependency without a source control");
        if (!qobject_cast<MComboBox *>(source))
            return;
        if (auto *list = qobject_cast<MComboBox *>(dependent)) {
            coverage.listOnListInverted |= list->depval >= 1000;
            coverage.listOnListPlain |= list->depval < 1000;
        } else {
            coverage.rangeOnList = true;
        }
    }

private slots:
    void init()
    {
        descriptionfiles::removeAll();
        image.clear();
        tree = new QTreeWidget;
        tree->setColumnCount(2);
    }

    void cleanup()
    {
        parameterpage::tearDown(tree);
        delete tree;
        tree = nullptr;
        descriptionfiles::removeAll();
    }

    void example_data()
    {
        QTest::addColumn<QString>("device");
        QTest::addColumn<Family>("family");
        QTest::addColumn<int>("pageCount");
        QTest::addColumn<uint>("pageSize");

        QTest::newRow("vorn") << "vorn" << Family::Vorn << 32 << 256u;
        QTest::newRow("kelpa") << "kelpa" << Family::KelpaOrUlma << 16 << 64u;
        QTest::newRow("ulma") << "ulma" << Family::KelpaOrUlma << 16 << 128u;
    }

    // Each description is found by the identity in its device's cells, and
    // those cells hold a value every control can show unchanged.
    void example()
    {
        QFETCH(QString, device);
        QFETCH(Family, family);
        QFETCH(int, pageCount);
        QFETCH(uint, pageSize);

        QMap<int, int> cells;
        loadExample(device, family, &cells);
        if (QTest::currentTestFailed())
            return;
        for (int cell : identityCells(family))
            QVERIFY2(cells.contains(cell), qPrintable(QString("identity cell %1").arg(cell)));
        QVERIFY(image.deviceName.startsWith(device, Qt::CaseInsensitive));
        QCOMPARE(int(image.fwPageCount), pageCount);
        QCOMPARE(uint(image.fwPageSize), pageSize);
        const int rows = tree->topLevelItemCount();
        QVERIFY2(rows >= 8 && rows <= 15, qPrintable(QString::number(rows)));

        // The cells file holds a value for exactly the identity and the used cells.
        QSet<int> used;
        for (int cell = 0; cell < CellCount; ++cell) {
            if (image.cells[cell].used)
                used << cell;
            image.cells[cell].value = quint8(cells.value(cell));
        }
        for (int cell : identityCells(family)) {
            QVERIFY2(!used.contains(cell), qPrintable(QString("cell %1 is identity").arg(cell)));
            used << cell;
        }
        QCOMPARE(used, QSet<int>(cells.keyBegin(), cells.keyEnd()));

        QCOMPARE(parameterpage::decodeControls(tree, image), rows);
        for (int row = 0; row < rows; ++row) {
            QWidget *control = controlAt(row);
            const QByteArray where = tree->topLevelItem(row)->text(0).toUtf8();
            if (auto *list = qobject_cast<MComboBox *>(control)) {
                QVERIFY2(list->currentIndex() >= 0, where);
                QCOMPARE(valuecodec::encodeList(list->currentIndex(), conversionOf(*list)), rawOf(*list, cells));
            } else if (auto *range = qobject_cast<MSpinBox *>(control)) {
                QVERIFY2(range->singleStep() > 0, where);
                QCOMPARE(valuecodec::encodeRange(range->value(), conversionOf(*range)), rawOf(*range, cells));
            } else {
                auto *check = qobject_cast<MCheckBox *>(control);
                QVERIFY2(check, where);
                QVERIFY2(cells.value(check->cell) <= 1, where);
                QCOMPARE(check->isChecked(), cells.value(check->cell) == 1);
            }
        }
    }

    void textFormAgreesWithControls_data() { example_data(); }

    // For raw values across each cell's range, the text form shows what the
    // control shows, and reads back to what the control would send.
    void textFormAgreesWithControls()
    {
        QFETCH(QString, device);
        QFETCH(Family, family);

        QMap<int, int> cells;
        loadExample(device, family, &cells);
        if (QTest::currentTestFailed())
            return;
        QFile file(examplePath("descriptions/" + device + ".dsc"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QVector<DeviceDescription> described = descriptionreader::read(
            file.readAll(), DescriptionIdentity{image.deviceId, image.hwVersion, image.fwMajor, image.fwMinor});
        QCOMPARE(described.size(), 1);
        const QVector<ParameterDescription> &parameters = described[0].parameters;
        QCOMPARE(parameters.size(), tree->topLevelItemCount());
        for (int row = 0; row < parameters.size(); ++row) {
            const ParameterDescription &parameter = parameters[row];
            QWidget *control = controlAt(row);
            for (quint32 raw = 0; raw < 700; raw += 3) {
                const QByteArray where = QString("%1 at %2").arg(parameter.name).arg(raw).toUtf8();
                const QString text = valuetext::toText(parameter, raw);
                const valuetext::Parsed parsed = valuetext::fromText(parameter, text);
                if (auto *list = qobject_cast<MComboBox *>(control)) {
                    list->setCurrentIndex(valuecodec::decodeList(raw, conversionOf(*list)));
                    QVERIFY2(text == list->currentText(), where);
                    if (list->currentIndex() >= 0)
                        QVERIFY2(parsed.raw == valuecodec::encodeList(list->currentIndex(), conversionOf(*list)),
                                 where);
                } else if (auto *range = qobject_cast<MSpinBox *>(control)) {
                    range->setValue(valuecodec::decodeRange(raw, conversionOf(*range)));
                    QVERIFY2(text == range->text(), where);
                    QVERIFY2(parsed.raw == valuecodec::encodeRange(range->value(), conversionOf(*range)), where);
                }
            }
        }
    }

    void examplesCoverTheGrammar()
    {
        for (const char *device : {"vorn", "kelpa", "ulma"}) {
            const Family family = qstrcmp(device, "vorn") == 0 ? Family::Vorn : Family::KelpaOrUlma;
            QMap<int, int> cells;
            loadExample(device, family, &cells);
            if (QTest::currentTestFailed())
                return;
            noteCoverage();
            parameterpage::tearDown(tree);
            image.clear();
        }
        QVERIFY(coverage.list);
        QVERIFY(coverage.range);
        QVERIFY(coverage.check);
        QVERIFY(coverage.highCell);
        QVERIFY(coverage.offset);
        QVERIFY(coverage.scale);
        QVERIFY(coverage.shift);
        QVERIFY(coverage.decimals);
        QVERIFY(coverage.suffix);
        QVERIFY(coverage.listOnListInverted);
        QVERIFY(coverage.listOnListPlain);
        QVERIFY(coverage.rangeOnList);
    }
};

QTEST_MAIN(TestExampleDescriptions)
#include "tst_exampledescriptions.moc"
