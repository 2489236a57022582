// The images compiled in under ":/maps/": present, the sizes the window and
// the style sheets were laid out for, and LEDs in their status colours.

#include <QColor>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QPixmap>
#include <QtTest>

namespace {

const QColor kBackground(45, 49, 54);
const QColor kText(210, 210, 210);
const QColor kAccent(61, 174, 233);
const QColor kDisabled(110, 110, 110);

bool near(const QColor &a, const QColor &b, int tolerance)
{
    return qAbs(a.red() - b.red()) <= tolerance && qAbs(a.green() - b.green()) <= tolerance
           && qAbs(a.blue() - b.blue()) <= tolerance;
}

QImage load(const QString &path)
{
    const QPixmap pm(path);
    return pm.toImage().convertToFormat(QImage::Format_ARGB32);
}

}  // namespace

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void sizes_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QSize>("size");
        QTest::newRow("MAIN_ICON") << ":/maps/MAIN_ICON" << QSize(16, 16);
        QTest::newRow("SPLASH") << ":/maps/SPLASH" << QSize(400, 355);
        for (const char *led : {"RLED", "YLED", "GLED", "DGLED"})
            QTest::newRow(led) << QStringLiteral(":/maps/") + led << QSize(15, 15);
        for (const char *arrow : {"da.png", "dd.png", "dh.png", "ua.png", "ud.png", "uh.png"})
            QTest::newRow(arrow) << QStringLiteral(":/maps/") + arrow << QSize(20, 10);
    }

    void sizes()
    {
        QFETCH(QString, path);
        QFETCH(QSize, size);
        QVERIFY2(QFile::exists(path), qPrintable(path));
        const QPixmap pm(path);
        QVERIFY2(!pm.isNull(), qPrintable(path));
        QCOMPARE(pm.size(), size);
    }

    // The window icon and the LEDs are Windows icons; the window icon holds
    // 32-bit pixels. Checked on the file's own directory entry.
    void iconFiles_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("side");
        QTest::newRow("MAIN_ICON") << ":/maps/MAIN_ICON" << 16;
        for (const char *led : {"RLED", "YLED", "GLED", "DGLED"})
            QTest::newRow(led) << QStringLiteral(":/maps/") + led << 15;
    }

    void iconFiles()
    {
        QFETCH(QString, path);
        QFETCH(int, side);
        QCOMPARE(QImageReader(path).format(), QByteArray("ico"));

        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray head = f.read(22);
        QCOMPARE(head.size(), 22);
        auto u16 = [&head](int at) { return int(uchar(head[at])) | int(uchar(head[at + 1])) << 8; };
        QCOMPARE(u16(0), 0);  // reserved
        QCOMPARE(u16(2), 1);  // icon, not cursor
        QVERIFY(u16(4) >= 1);
        QCOMPARE(int(uchar(head[6])), side);
        QCOMPARE(int(uchar(head[7])), side);
        QCOMPARE(u16(12), 32);  // bits per pixel
    }

    // Each LED: a disc of its colour with a black outline, transparent
    // corners and no third colour.
    void ledColours_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QColor>("colour");
        QTest::newRow("RLED") << ":/maps/RLED" << QColor(255, 0, 0);
        QTest::newRow("YLED") << ":/maps/YLED" << QColor(255, 255, 0);
        QTest::newRow("GLED") << ":/maps/GLED" << QColor(0, 255, 0);
        QTest::newRow("DGLED") << ":/maps/DGLED" << QColor(0, 179, 0);
    }

    void ledColours()
    {
        QFETCH(QString, path);
        QFETCH(QColor, colour);
        const QImage img = load(path);
        QCOMPARE(img.size(), QSize(15, 15));

        QCOMPARE(img.pixelColor(7, 7), colour);
        QCOMPARE(img.pixelColor(7, 0), QColor(Qt::black));
        QCOMPARE(img.pixelColor(0, 7), QColor(Qt::black));
        QCOMPARE(img.pixelColor(0, 0).alpha(), 0);
        QCOMPARE(img.pixelColor(14, 14).alpha(), 0);

        int lit = 0, outline = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                const QColor c = img.pixelColor(x, y);
                if (c.alpha() == 0)
                    continue;
                QCOMPARE(c.alpha(), 255);
                if (c == colour)
                    ++lit;
                else if (c == QColor(Qt::black))
                    ++outline;
                else
                    QFAIL(qPrintable(QStringLiteral("stray colour %1 at %2,%3").arg(c.name()).arg(x).arg(y)));
            }
        QVERIFY(lit > outline);
        QVERIFY(outline > 0);
    }

    // Arrows: a solid triangle of the state's colour on transparency,
    // pointing the way its name says.
    void arrows_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QColor>("colour");
        QTest::addColumn<bool>("up");
        QTest::newRow("da") << ":/maps/da.png" << kText << false;
        QTest::newRow("dd") << ":/maps/dd.png" << kDisabled << false;
        QTest::newRow("dh") << ":/maps/dh.png" << kAccent << false;
        QTest::newRow("ua") << ":/maps/ua.png" << kText << true;
        QTest::newRow("ud") << ":/maps/ud.png" << kDisabled << true;
        QTest::newRow("uh") << ":/maps/uh.png" << kAccent << true;
    }

    void arrows()
    {
        QFETCH(QString, path);
        QFETCH(QColor, colour);
        QFETCH(bool, up);
        const QImage img = load(path);
        QCOMPARE(img.size(), QSize(20, 10));
        QCOMPARE(img.pixelColor(0, 0).alpha(), 0);
        QCOMPARE(img.pixelColor(19, 9).alpha(), 0);
        QCOMPARE(img.pixelColor(10, 4), colour);

        // Wide side at the bottom for up, at the top for down.
        auto rowCoverage = [&img](int y) {
            int sum = 0;
            for (int x = 0; x < img.width(); ++x)
                sum += img.pixelColor(x, y).alpha();
            return sum;
        };
        if (up)
            QVERIFY(rowCoverage(6) > rowCoverage(3));
        else
            QVERIFY(rowCoverage(3) > rowCoverage(6));
    }

    // The splash sits on the window's background and carries the accent.
    void splashPalette()
    {
        const QImage img = load(QStringLiteral(":/maps/SPLASH"));
        QCOMPARE(img.size(), QSize(400, 355));
        QVERIFY(img.pixelColor(0, 0).alpha() == 255);
        QVERIFY2(near(img.pixelColor(0, 0), kBackground, 6), qPrintable(img.pixelColor(0, 0).name()));

        int accent = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (near(img.pixelColor(x, y), kAccent, 12))
                    ++accent;
        QVERIFY2(accent > 200, qPrintable(QString::number(accent)));
    }
};

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
