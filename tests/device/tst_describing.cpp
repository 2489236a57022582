// Laying a description onto the device image, for descriptions that did not
// come through the reader's own bounds.
#include "device/describing.h"
#include "device/deviceimage.h"

#include <QtTest>

namespace {

ParameterDescription parameter(ParameterKind kind, int cell, std::optional<int> hcell = std::nullopt)
{
    ParameterDescription described;
    described.kind = kind;
    described.cell = cell;
    described.hasHighCell = hcell.has_value();
    described.hcell = hcell.value_or(0);
    return described;
}

}  // namespace

Q_DECLARE_METATYPE(QVector<ParameterDescription>)

class DescribingTest : public QObject
{
    Q_OBJECT

private slots:
    void marksOnlyCellsWithSlots_data()
    {
        QTest::addColumn<QVector<ParameterDescription>>("parameters");
        QTest::addColumn<QList<int>>("used");
        QTest::newRow("cell and high cell")
            << QVector<ParameterDescription>{parameter(ParameterKind::Range, 10, 11)} << QList<int>{10, 11};
        QTest::newRow("cell 255") << QVector<ParameterDescription>{parameter(ParameterKind::Range, 255),
                                                                   parameter(ParameterKind::List, 3)}
                                  << QList<int>{3};
        QTest::newRow("cells below 0 and above 255")
            << QVector<ParameterDescription>{parameter(ParameterKind::Range, -1), parameter(ParameterKind::Check, 300)}
            << QList<int>();
        QTest::newRow("high cell without a slot, its low cell marked")
            << QVector<ParameterDescription>{parameter(ParameterKind::Range, 4, 255),
                                             parameter(ParameterKind::List, 5, -3)}
            << QList<int>{4, 5};
        QTest::newRow("a check's high cell is never used")
            << QVector<ParameterDescription>{parameter(ParameterKind::Check, 2, 6)} << QList<int>{2};
    }

    void marksOnlyCellsWithSlots()
    {
        QFETCH(QVector<ParameterDescription>, parameters);
        QFETCH(QList<int>, used);
        DeviceDescription description;
        description.parameters = parameters;
        DeviceImage image;
        describing::markUsedCells(description, image);
        QList<int> marked;
        for (int cell = 0; cell < CellCount; ++cell)
            if (image.cells[cell].used)
                marked << cell;
        QCOMPARE(marked, used);
    }
};

QTEST_GUILESS_MAIN(DescribingTest)
#include "tst_describing.moc"
