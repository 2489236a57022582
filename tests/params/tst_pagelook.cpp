#include "controlreceiver.h"

#include "app/parameterpage.h"
#include "device/deviceimage.h"
#include "description/descriptionreader.h"
#include "params/mcheckbox.h"
#include "params/mcombobox.h"
#include "params/mspinbox.h"
#include "params/xmlcontrolsreader.h"
#include "support/descriptionfiles.h"
#include "support/pagehost.h"
#include "support/testsupport.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFile>
#include <QMap>
#include <QStyleFactory>
#include <QTest>

#include <memory>

namespace {

// The page's look as the window's and the controls' style sheets give it.
constexpr int RowHeight = 34;
constexpr int EntryMinHeight = 20;
const QRgb Box = qRgb(25, 28, 31);
const QRgb DisabledBox = qRgb(45, 49, 54);  // the page's own background
const QRgb CheckedBox = qRgb(215, 214, 213);
const QRgb Text = qRgb(210, 210, 210);  // the window's text
const QRgb DisabledText = qRgb(128, 128, 128);
const QRgb PopupBackground = qRgb(90, 100, 108);
const QRgb PopupText = qRgb(230, 230, 230);
const QRgb Accent = qRgb(61, 174, 233);

QImage pixelsOf(QWidget *widget)
{
    return widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// The colour most of the pixels have: a control's box.
QRgb mostPixels(const QImage &image)
{
    QMap<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ++counts[image.pixel(x, y)];
    QRgb most = 0;
    int count = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.value() > count) {
            most = it.key();
            count = it.value();
        }
    return most;
}

// The bounding box of the pixels of one colour.
QRect areaOf(const QImage &image, QRgb colour)
{
    QRect area;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) == colour)
                area |= QRect(x, y, 1, 1);
    return area;
}

QString colourName(QRgb colour)
{
    return QColor(colour).name();
}

bool isChecked(QWidget *control)
{
    auto *check = qobject_cast<MCheckBox *>(control);
    return check && check->isChecked();
}

QRgb boxColour(QWidget *control, bool enabled)
{
    return isChecked(control) ? CheckedBox : enabled ? Box : DisabledBox;
}

}  // namespace

// The parameter page's look for each example controller: what a style
// regression would break (a control losing the tree's style sheet, a
// colour, a size, the focus frame).
class TestPageLook : public QObject
{
    Q_OBJECT

    DeviceImage image;
    ControlReceiver receiver;
    std::unique_ptr<PageHost> host;

    QWidget *controlIn(int row) const { return host->tree->itemWidget(host->tree->topLevelItem(row), 1); }

    QList<QWidget *> controls() const
    {
        QList<QWidget *> all;
        for (int row = 0; row < host->tree->topLevelItemCount(); ++row)
            all << controlIn(row);
        return all;
    }

    // A control as the window shows it, with the tree around it.
    QImage onScreen(QWidget *control) const
    {
        const QRect area(control->mapTo(&host->window, QPoint(0, 0)), control->size());
        return pixelsOf(&host->window).copy(area);
    }

    QString where(QWidget *control) const
    {
        return QString::fromLatin1(control->metaObject()->className()) + " in row "
               + QString::number(controls().indexOf(control));
    }

    QList<QWidget *> focusableControls() const
    {
        QList<QWidget *> focusable;
        for (QWidget *control : controls())
            if ((qobject_cast<MComboBox *>(control) || qobject_cast<MSpinBox *>(control)) && control->isEnabled())
                focusable << control;
        return focusable;
    }

    // Builds, fills and shows the page of the first device described in
    // `device`'s example file, which becomes the primary description.
    void showExample(const QString &device)
    {
        descriptionfiles::removeAll();
        QFile description(testsupport::sourcePath("examples/descriptions/" + device + ".dsc"));
        QVERIFY(description.open(QIODevice::ReadOnly));
        const QVector<DeviceDescription> devices = descriptionreader::read(description.readAll());
        QVERIFY(!devices.isEmpty());
        QVERIFY(description.copy(descriptionfiles::Primary));
        const DescriptionIdentity identity = devices.first().identity;
        image.clear();
        image.deviceId = quint8(identity.id);
        image.hwVersion = quint8(identity.hw);
        image.fwMajor = quint8(identity.fw);
        image.fwMinor = quint8(identity.fwm);
        // Small values: across the examples, checks on and off, dependents
        // enabled and disabled.
        for (int cell = 0; cell < CellCount; ++cell)
            image.cells[cell].value = quint8((cell * 37 + 11) % 4);

        host = std::make_unique<PageHost>();
        QVERIFY(XmlControlsReader(&receiver, host->tree, &image).readDescription());
        parameterpage::decodeControls(host->tree, image);
        parameterpage::updateAllDependents(host->tree);
        host->showPage();
        QCoreApplication::processEvents();
        QVERIFY(controls().size() >= 10);
    }

private slots:
    void initTestCase()
    {
        if (QStyle *fusion = QStyleFactory::create("Fusion"))
            QApplication::setStyle(fusion);
        qInstallMessageHandler(quietNativeWindowNotes);
    }

    void cleanup()
    {
        if (host)
            parameterpage::tearDown(host->tree);
        host.reset();
    }

    void cleanupTestCase() { descriptionfiles::removeAll(); }

    void rows_data()
    {
        QTest::addColumn<QString>("device");

        for (const char *device : {"vorn", "kelpa", "ulma"})
            QTest::newRow(device) << device;
    }

    // Every control fills its own cell of its own row, rows do not overlap,
    // controls of one kind draw boxes of one size, all in the tree's font.
    void rows()
    {
        QFETCH(QString, device);

        showExample(device);
        if (QTest::currentTestFailed())
            return;
        QTreeWidget *tree = host->tree;
        QMap<QString, QRect> boxOfKind;
        int previousBottom = -1;
        for (int row = 0; row < tree->topLevelItemCount(); ++row) {
            QWidget *control = controlIn(row);
            const QString what = where(control);
            const QRect rowArea = tree->visualItemRect(tree->topLevelItem(row));
            const QRect cell = tree->visualRect(tree->model()->index(row, 1));
            QVERIFY2(control->isVisible(), qPrintable(what));
            QCOMPARE(rowArea.height(), RowHeight);
            QVERIFY2(rowArea.top() > previousBottom, qPrintable(what + ": overlaps the row above"));
            previousBottom = rowArea.bottom();
            QVERIFY2(rowArea.contains(cell) && cell.contains(control->geometry()), qPrintable(what));
            QCOMPARE(control->font(), tree->font());

            // A disabled box has the tree's own colour; its size shows only when enabled.
            if (!control->isEnabled())
                continue;
            const QRect box = areaOf(onScreen(control), boxColour(control, true));
            QVERIFY2(box.height() > RowHeight / 2 && control->rect().adjusted(1, 1, -1, -1).contains(box),
                     qPrintable(QString("%1: box at %2,%3 %4x%5")
                                    .arg(what)
                                    .arg(box.x())
                                    .arg(box.y())
                                    .arg(box.width())
                                    .arg(box.height())));
            const QString kind =
                QString::fromLatin1(control->metaObject()->className()) + (isChecked(control) ? " checked" : "");
            if (!boxOfKind.contains(kind))
                boxOfKind[kind] = box;
            QVERIFY2(box.size() == boxOfKind[kind].size(), qPrintable(what + ": box of another size"));
        }
    }

    void colours_data() { rows_data(); }

    // Each control in the colours its style sheet gives it, enabled and
    // disabled; the other state of each control looks different.
    void colours()
    {
        QFETCH(QString, device);

        showExample(device);
        if (QTest::currentTestFailed())
            return;
        for (QWidget *control : controls()) {
            const QString what = where(control);
            const QPalette palette = control->palette();
            for (QPalette::ColorRole role : {QPalette::Window, QPalette::Base, QPalette::Button}) {
                QCOMPARE(colourName(palette.color(QPalette::Active, role).rgb()), colourName(Box));
                QCOMPARE(colourName(palette.color(QPalette::Disabled, role).rgb()), colourName(DisabledBox));
            }
            for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text}) {
                QCOMPARE(colourName(palette.color(QPalette::Active, role).rgb()), colourName(Text));
                QCOMPARE(colourName(palette.color(QPalette::Disabled, role).rgb()), colourName(DisabledText));
            }

            const bool enabled = control->isEnabled();
            const QImage shown = onScreen(control);
            QVERIFY2(mostPixels(shown) == boxColour(control, enabled),
                     qPrintable(QString("%1: box in %2").arg(what, colourName(mostPixels(shown)))));
            control->setEnabled(!enabled);
            QCoreApplication::processEvents();
            const QImage other = onScreen(control);
            control->setEnabled(enabled);
            QVERIFY2(mostPixels(other) == boxColour(control, !enabled),
                     qPrintable(QString("%1 %2: box in %3")
                                    .arg(what, enabled ? "disabled" : "enabled", colourName(mostPixels(other)))));
            QVERIFY2(other != shown, qPrintable(what + ": looks the same enabled and disabled"));
        }
    }

    void listPopups_data() { rows_data(); }

    // An opened list shows all its entries, one height each, inside its
    // popup, in bold in the tree's font and the popup's colours.
    void listPopups()
    {
        QFETCH(QString, device);

        showExample(device);
        if (QTest::currentTestFailed())
            return;
        const QFont treeFont = host->tree->font();
        int opened = 0;
        for (QWidget *control : controls()) {
            auto *list = qobject_cast<MComboBox *>(control);
            if (!list || !list->isEnabled())
                continue;
            const QString what = where(control);
            list->showPopup();
            QCoreApplication::processEvents();
            QAbstractItemView *view = list->view();
            QWidget *popup = view->window();
            QVERIFY2(popup->isVisible() && popup != &host->window, qPrintable(what));
            ++opened;
            QVERIFY2(popup->rect().contains(view->geometry()), qPrintable(what));
            const QRect shown = view->viewport()->rect();
            const int entryHeight = view->visualRect(list->model()->index(0, 0)).height();
            QVERIFY2(entryHeight >= EntryMinHeight,
                     qPrintable(QString("%1: entries %2 px high").arg(what).arg(entryHeight)));
            for (int entry = 0; entry < list->count(); ++entry) {
                const QRect area = view->visualRect(list->model()->index(entry, 0));
                QVERIFY2(shown.contains(area) && area.height() == entryHeight,
                         qPrintable(QString("%1: entry %2 at %3,%4 %5x%6")
                                        .arg(what)
                                        .arg(entry)
                                        .arg(area.x())
                                        .arg(area.y())
                                        .arg(area.width())
                                        .arg(area.height())));
            }
            QVERIFY2(view->font().bold(), qPrintable(what));
            QCOMPARE(view->font().family(), treeFont.family());
            QCOMPARE(view->font().pixelSize(), treeFont.pixelSize());
            QCOMPARE(colourName(view->palette().color(QPalette::Active, QPalette::Base).rgb()),
                     colourName(PopupBackground));
            QCOMPARE(colourName(view->palette().color(QPalette::Active, QPalette::Text).rgb()), colourName(PopupText));
            QCOMPARE(colourName(mostPixels(pixelsOf(popup))), colourName(PopupBackground));
            list->hidePopup();
            QCoreApplication::processEvents();
            QVERIFY2(!popup->isVisible(), qPrintable(what));
        }
        QVERIFY(opened >= 2);
    }

    void focusFrame_data() { rows_data(); }

    // A focused list or range gets a frame in the accent colour around the
    // box it had; not one pixel inside or outside that frame changes.
    void focusFrame()
    {
        QFETCH(QString, device);

        showExample(device);
        if (QTest::currentTestFailed())
            return;
        QApplication::setActiveWindow(&host->window);
        QVERIFY(QTest::qWaitForWindowActive(&host->window));
        const QList<QWidget *> focusable = focusableControls();
        QVERIFY(focusable.size() >= 3);
        for (QWidget *control : focusable) {
            const QString what = where(control);
            // The window gives the first control the focus when it turns active.
            if (QWidget *focused = QApplication::focusWidget())
                focused->clearFocus();
            QCoreApplication::processEvents();
            QVERIFY2(!control->hasFocus(), qPrintable(what));
            const QImage plain = pixelsOf(control);
            control->setFocus(Qt::OtherFocusReason);
            QCoreApplication::processEvents();
            QVERIFY2(control->hasFocus(), qPrintable(what));
            const QImage focused = pixelsOf(control);
            control->clearFocus();
            QCoreApplication::processEvents();
            QCOMPARE(focused.size(), plain.size());

            QRect changed;
            for (int y = 0; y < plain.height(); ++y)
                for (int x = 0; x < plain.width(); ++x)
                    if (plain.pixel(x, y) != focused.pixel(x, y))
                        changed |= QRect(x, y, 1, 1);
            QVERIFY2(changed.width() > 20 && changed.height() > 10, qPrintable(what + ": no frame"));
            int outline = 0;
            int inAccent = 0;
            for (int y = changed.top(); y <= changed.bottom(); ++y) {
                for (int x = changed.left(); x <= changed.right(); ++x) {
                    const bool onOutline =
                        x == changed.left() || x == changed.right() || y == changed.top() || y == changed.bottom();
                    // The frame's corners are rounded by 2 px and blend with what they round.
                    const bool inCorner = (x - changed.left() < 2 || changed.right() - x < 2)
                                          && (y - changed.top() < 2 || changed.bottom() - y < 2);
                    if (inCorner)
                        continue;
                    if (!onOutline) {
                        QVERIFY2(
                            plain.pixel(x, y) == focused.pixel(x, y),
                            qPrintable(QString("%1: pixel %2,%3 inside the frame changed").arg(what).arg(x).arg(y)));
                        continue;
                    }
                    ++outline;
                    inAccent += focused.pixel(x, y) == Accent ? 1 : 0;
                }
            }
            QVERIFY2(
                inAccent == outline,
                qPrintable(
                    QString("%1: %2 of %3 frame pixels in the accent colour").arg(what).arg(inAccent).arg(outline)));
        }
    }
};

QTEST_MAIN(TestPageLook)
#include "tst_pagelook.moc"
