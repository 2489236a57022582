#include "controlreceiver.h"
#include "support/descriptionfiles.h"

#include "legacyrows.h"
#include "pagehost.h"

#include "app/parameterpage.h"
#include "device/deviceimage.h"
#include "description/descriptionreader.h"
#include "params/mcombobox.h"
#include "params/mspinbox.h"
#include "params/xmlcontrolsreader.h"
#include "support/testsupport.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFile>
#include <QStyleFactory>
#include <QTest>

namespace {

// What a control looks like and where it sits, as text for a readable diff.
QString describe(QWidget *widget)
{
    QStringList parts{QString::fromLatin1(widget->metaObject()->className()),
                      QString("geometry %1,%2 %3x%4")
                          .arg(widget->x())
                          .arg(widget->y())
                          .arg(widget->width())
                          .arg(widget->height()),
                      QString("hint %1x%2").arg(widget->sizeHint().width()).arg(widget->sizeHint().height()),
                      widget->isEnabled() ? "enabled" : "disabled", widget->font().toString()};
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Disabled})
        for (QPalette::ColorRole role : {QPalette::Window, QPalette::WindowText, QPalette::Base,
                                         QPalette::Text, QPalette::Button, QPalette::ButtonText,
                                         QPalette::Highlight, QPalette::HighlightedText})
            parts << widget->palette().color(group, role).name();
    return parts.join(' ');
}

}  // namespace

// The page built today looks as it did when every control carried its own
// style sheet: the same pixels, geometry, fonts and colours.
class TestPageLook : public QObject
{
    Q_OBJECT

    DeviceImage image;

    // Builds, fills and shows the page one way; returns one line per row
    // and per list entry of an opened popup, and the window's pixels.
    QStringList buildAndDescribe(bool legacy, QImage *pixels)
    {
        image.clearCells();
        for (int cell = 0; cell < CellCount; ++cell)
            image.cells[cell].value = quint8((cell * 37 + 11) % 4);
        ControlReceiver receiver;
        PageHost host(legacy);
        QCoreApplication::processEvents();
        if (legacy)
            LegacyRows(&receiver, host.tree, &image).readDescription();
        else
            XmlControlsReader(&receiver, host.tree, &image).readDescription();
        parameterpage::decodeControls(host.tree, image);
        parameterpage::updateAllDependents(host.tree);
        host.showPage();
        QCoreApplication::processEvents();

        QStringList lines;
        for (int row = 0; row < host.tree->topLevelItemCount(); ++row) {
            QWidget *control = host.tree->itemWidget(host.tree->topLevelItem(row), 1);
            lines << describe(control);
            // A list's popup is a window of its own, described once opened.
            for (QWidget *child : control->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
                if (!child->isWindow())
                    lines << "  " + describe(child);
            if (auto *list = qobject_cast<MComboBox *>(control); list && list->isEnabled()) {
                list->showPopup();
                QCoreApplication::processEvents();
                QAbstractItemView *view = list->view();
                lines << "  popup " + describe(view->window()) + " " + describe(view);
                for (int entry = 0; entry < list->count(); ++entry) {
                    const QRect rect = view->visualRect(list->model()->index(entry, 0));
                    lines << QString("    entry %1,%2 %3x%4")
                                 .arg(rect.x())
                                 .arg(rect.y())
                                 .arg(rect.width())
                                 .arg(rect.height());
                }
                const QImage popup = view->window()->grab().toImage();
                lines << "    pixels "
                             + QString::number(qHashBits(popup.constBits(), size_t(popup.sizeInBytes())));
                list->hidePopup();
                QCoreApplication::processEvents();
            }
        }
        // The focused look of every list and range that can take the focus.
        QApplication::setActiveWindow(&host.window);
        for (QWidget *control : focusableControls(host.tree)) {
            control->setFocus(Qt::OtherFocusReason);
            QCoreApplication::processEvents();
            const QImage focused = control->grab().toImage();
            lines << QString("focused %1 pixels %2")
                         .arg(describe(control))
                         .arg(qHashBits(focused.constBits(), size_t(focused.sizeInBytes())));
        }
        if (QWidget *focused = QApplication::focusWidget())
            focused->clearFocus();
        QCoreApplication::processEvents();
        *pixels = host.window.grab().toImage();
        parameterpage::tearDown(host.tree);
        return lines;
    }

    static QList<QWidget *> focusableControls(QTreeWidget *tree)
    {
        QList<QWidget *> controls;
        for (int row = 0; row < tree->topLevelItemCount(); ++row) {
            QWidget *control = tree->itemWidget(tree->topLevelItem(row), 1);
            if ((qobject_cast<MComboBox *>(control) || qobject_cast<MSpinBox *>(control)) && control->isEnabled())
                controls << control;
        }
        return controls;
    }

    // Sets the window's identity to the first device described in `device`'s
    // example file, which becomes the primary description.
    void useExample(const QString &device)
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
    }

private slots:
    void initTestCase()
    {
        if (QStyle *fusion = QStyleFactory::create("Fusion"))
            QApplication::setStyle(fusion);
        qInstallMessageHandler(quietNativeWindowNotes);
    }

    void cleanupTestCase() { descriptionfiles::removeAll(); }

    void sameLook_data()
    {
        QTest::addColumn<QString>("device");

        for (const char *device : {"vorn", "kelpa", "ulma"})
            QTest::newRow(device) << device;
    }

    void sameLook()
    {
        QFETCH(QString, device);

        useExample(device);
        if (QTest::currentTestFailed())
            return;

        QImage before, today;
        const QStringList legacyLines = buildAndDescribe(true, &before);
        const QStringList todayLines = buildAndDescribe(false, &today);
        QVERIFY(legacyLines.size() > 8);
        QCOMPARE(todayLines, legacyLines);
        QVERIFY(!today.isNull());
        QVERIFY(today == before);
    }

    void focusFrame_data() { sameLook_data(); }

    // A focused list or range gets a frame in the accent colour around the
    // box it had; not one pixel inside or outside that frame changes.
    void focusFrame()
    {
        QFETCH(QString, device);

        useExample(device);
        if (QTest::currentTestFailed())
            return;
        ControlReceiver receiver;
        PageHost host(false);
        XmlControlsReader(&receiver, host.tree, &image).readDescription();
        parameterpage::decodeControls(host.tree, image);
        parameterpage::updateAllDependents(host.tree);
        host.showPage();
        QApplication::setActiveWindow(&host.window);
        QVERIFY(QTest::qWaitForWindowActive(&host.window));
        const QList<QWidget *> controls = focusableControls(host.tree);
        QVERIFY(controls.size() >= 3);
        const QRgb accent = qRgb(61, 174, 233);
        for (QWidget *control : controls) {
            const QString what = QString::fromLatin1(control->metaObject()->className()) + " in row "
                                 + QString::number(controls.indexOf(control));
            // The window gives the first control the focus when it turns active.
            if (QWidget *focused = QApplication::focusWidget())
                focused->clearFocus();
            QCoreApplication::processEvents();
            QVERIFY2(!control->hasFocus(), qPrintable(what));
            const QImage plain = control->grab().toImage().convertToFormat(QImage::Format_RGB32);
            control->setFocus(Qt::OtherFocusReason);
            QCoreApplication::processEvents();
            QVERIFY2(control->hasFocus(), qPrintable(what));
            const QImage focused = control->grab().toImage().convertToFormat(QImage::Format_RGB32);
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
                    const bool onOutline = x == changed.left() || x == changed.right() || y == changed.top()
                                           || y == changed.bottom();
                    // The frame's corners are rounded by 2 px and blend with what they round.
                    const bool inCorner = (x - changed.left() < 2 || changed.right() - x < 2)
                                          && (y - changed.top() < 2 || changed.bottom() - y < 2);
                    if (inCorner)
                        continue;
                    if (!onOutline) {
                        QVERIFY2(plain.pixel(x, y) == focused.pixel(x, y),
                                 qPrintable(QString("%1: pixel %2,%3 inside the frame changed").arg(what).arg(x).arg(y)));
                        continue;
                    }
                    ++outline;
                    inAccent += focused.pixel(x, y) == accent ? 1 : 0;
                }
            }
            QVERIFY2(inAccent == outline,
                     qPrintable(QString("%1: %2 of %3 frame pixels in the accent colour")
                                    .arg(what).arg(inAccent).arg(outline)));
        }
        parameterpage::tearDown(host.tree);
    }
};

QTEST_MAIN(TestPageLook)
#include "tst_pagelook.moc"
