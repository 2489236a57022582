// kova-artwork: draws every image that resources/resources.qrc compiles into
// the program (window icon, splash page, status LEDs, control arrows), and
// the program's icon for the desktop under resources/icons/.
//
// To regenerate after changing a drawing:
//     ninja -C <build folder> kova-artwork
//     <build folder>/tools/artwork/kova-artwork <source folder>/resources
// It overwrites the image files in that folder and leaves resources.qrc alone.
// Look at the results before checking them in.

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QSvgGenerator>
#include <QTextStream>
#include <QtMath>

#include <cmath>
#include <cstdio>

namespace {

// The program's palette, as its style sheets use it.
const QColor kBackground(45, 49, 54);
const QColor kText(210, 210, 210);
const QColor kAccent(61, 174, 233);
const QColor kDisabled(110, 110, 110);

const char *const kFontFamily = "DejaVu Sans";

QImage transparentImage(int w, int h)
{
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    return img;
}

quint32 le(const QByteArray &b, int at, int size)
{
    quint32 v = 0;
    for (int i = size - 1; i >= 0; --i)
        v = v << 8 | uchar(b.at(at + i));
    return v;
}

// Qt's ico writer copies each row of the transparency mask with its
// alignment bytes, which are never initialised: the same drawing would give
// a different file on every run. Zero everything past each row's last pixel.
bool clearIcoMaskPadding(QByteArray &ico)
{
    if (ico.size() < 6)
        return false;
    const int count = int(le(ico, 4, 2));
    for (int i = 0; i < count; ++i) {
        const int entry = 6 + 16 * i;
        if (ico.size() < entry + 16)
            return false;
        const int bmp = int(le(ico, entry + 12, 4));
        if (ico.size() < bmp + 40)
            return false;
        const int headerSize = int(le(ico, bmp, 4));
        const int w = int(le(ico, bmp + 4, 4));
        const int h = int(le(ico, bmp + 8, 4)) / 2;  // colour rows + mask rows
        const int bpp = int(le(ico, bmp + 14, 2));
        if (bpp != 32)
            return false;  // palette formats are not written by this tool
        const int colourStride = (w * bpp + 31) / 32 * 4;
        const int maskStride = (w + 31) / 32 * 4;
        const int mask = bmp + headerSize + colourStride * h;
        if (ico.size() < mask + maskStride * h)
            return false;
        for (int y = 0; y < h; ++y) {
            char *row = ico.data() + mask + y * maskStride;
            for (int x = w; x < maskStride * 8; ++x)
                row[x / 8] = char(uchar(row[x / 8]) & ~(0x80u >> (x % 8)));
        }
    }
    return true;
}

bool save(const QImage &img, const QString &dir, const QString &file, const char *format)
{
    const QString path = QDir(dir).filePath(file);
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    // The ico writer stores 32-bit pixels only when handed an alpha format.
    if (!writer.write(img.convertToFormat(QImage::Format_ARGB32))) {
        std::fprintf(stderr, "cannot encode %s: %s\n", qPrintable(path), qPrintable(writer.errorString()));
        return false;
    }
    buffer.close();
    if (qstrcmp(format, "ico") == 0 && !clearIcoMaskPadding(data)) {
        std::fprintf(stderr, "unexpected ico layout for %s\n", qPrintable(path));
        return false;
    }
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(data) != data.size()) {
        std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(path), qPrintable(out.errorString()));
        return false;
    }
    std::printf("wrote %s (%dx%d)\n", qPrintable(path), img.width(), img.height());
    return true;
}

// Point on a circle; angles in degrees, counter-clockwise from 3 o'clock
// as QPainter's arcs count them.
QPointF polar(const QPointF &c, qreal r, qreal deg)
{
    const qreal a = qDegreesToRadians(deg);
    return {c.x() + r * qCos(a), c.y() - r * qSin(a)};
}

QRectF circleRect(const QPointF &c, qreal r)
{
    return {c.x() - r, c.y() - r, 2 * r, 2 * r};
}

QFont font(qreal pixelSize, int weight = QFont::Normal, qreal spacing = 0)
{
    QFont f(kFontFamily);
    f.setPixelSize(qRound(pixelSize));
    f.setWeight(weight);
    f.setHintingPreference(QFont::PreferNoHinting);
    if (spacing != 0)
        f.setLetterSpacing(QFont::AbsoluteSpacing, spacing);
    return f;
}

// Width of a run of text as drawn, without the spacing added after the last
// letter, so spaced-out titles centre properly.
qreal textWidth(const QFont &f, const QString &s)
{
    return QFontMetricsF(f).horizontalAdvance(s) - f.letterSpacing();
}

void drawCentred(QPainter &p, const QFont &f, const QColor &c, qreal cx, qreal baseline, const QString &s)
{
    p.setFont(f);
    p.setPen(c);
    p.drawText(QPointF(cx - textWidth(f, s) / 2, baseline), s);
}

// ---------------------------------------------------------------- splash

// The emblem: a motor seen end-on (stator ring with slots, rotor with swept
// blades) inside a speed gauge whose accent arc stands at about two thirds.
void drawEmblem(QPainter &p, const QPointF &c)
{
    const qreal gaugeR = 80;
    const qreal arcStart = 225;  // bottom left
    const qreal arcSpan = -270;  // clockwise to bottom right
    const qreal level = 0.68;

    // Soft glow behind the motor.
    QRadialGradient glow(c, gaugeR + 30);
    glow.setColorAt(0.0, QColor(61, 174, 233, 38));
    glow.setColorAt(0.55, QColor(61, 174, 233, 12));
    glow.setColorAt(1.0, QColor(61, 174, 233, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawEllipse(circleRect(c, gaugeR + 30));

    // Gauge track and the lit part of it.
    const QRectF arcRect = circleRect(c, gaugeR);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(64, 70, 77), 6, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(arcRect, int(arcStart * 16), int(arcSpan * 16));

    // Lit part darker at the start, brightest at the tip. The conical
    // gradient counts counter-clockwise from its origin; put the origin at
    // the bottom, in the gap, so neither round cap straddles its seam.
    const qreal tipDeg = arcStart + arcSpan * level;
    auto gradPos = [](qreal deg) { return std::fmod(deg - 270 + 720, 360.0) / 360.0; };
    QConicalGradient lit(c, 270);
    lit.setColorAt(0.0, kAccent.lighter(118));
    lit.setColorAt(gradPos(tipDeg), kAccent.lighter(118));
    lit.setColorAt(gradPos(arcStart), QColor(28, 92, 134));
    lit.setColorAt(1.0, QColor(28, 92, 134));
    p.setPen(QPen(QBrush(lit), 6, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(arcRect, int(arcStart * 16), int(arcSpan * level * 16));

    // Scale ticks inside the arc: long every 27 degrees, short between.
    for (int i = 0; i <= 20; ++i) {
        const qreal deg = arcStart + arcSpan * i / 20.0;
        const bool major = i % 2 == 0;
        const bool onLit = i <= qRound(level * 20);
        QColor col = onLit ? QColor(150, 200, 230) : QColor(100, 108, 116);
        if (!major)
            col.setAlpha(150);
        p.setPen(QPen(col, major ? 2 : 1.2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(polar(c, gaugeR - 9, deg), polar(c, gaugeR - (major ? 15 : 12), deg));
    }

    // Bright marker where the lit arc ends.
    const QPointF tip = polar(c, gaugeR, tipDeg);
    QRadialGradient tipGlow(tip, 12);
    tipGlow.setColorAt(0.0, QColor(61, 174, 233, 150));
    tipGlow.setColorAt(1.0, QColor(61, 174, 233, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(tipGlow);
    p.drawEllipse(circleRect(tip, 12));
    p.setBrush(QColor(235, 246, 252));
    p.drawEllipse(circleRect(tip, 3.6));

    // Stator: a dark housing ring with evenly spaced slots.
    const qreal statorR = 56;
    QRadialGradient housing(c, statorR);
    housing.setColorAt(0.0, QColor(38, 42, 47));
    housing.setColorAt(0.85, QColor(33, 36, 40));
    housing.setColorAt(1.0, QColor(28, 31, 35));
    p.setBrush(housing);
    p.setPen(QPen(QColor(92, 101, 110), 2));
    p.drawEllipse(circleRect(c, statorR));

    p.setPen(Qt::NoPen);
    p.setBrush(QColor(66, 73, 81));
    const int slotCount = 18;
    for (int i = 0; i < slotCount; ++i) {
        p.save();
        p.translate(c);
        p.rotate(360.0 * i / slotCount);
        p.drawRoundedRect(QRectF(-2.2, -statorR + 5, 4.4, 9), 1.5, 1.5);
        p.restore();
    }

    // Rotor disc.
    const qreal rotorR = 38;
    QLinearGradient disc(c.x(), c.y() - rotorR, c.x(), c.y() + rotorR);
    disc.setColorAt(0.0, QColor(78, 86, 95));
    disc.setColorAt(1.0, QColor(50, 55, 61));
    p.setBrush(disc);
    p.setPen(QPen(QColor(30, 33, 37), 1.5));
    p.drawEllipse(circleRect(c, rotorR));

    // Swept blades, so the rotor reads as turning.
    const int blades = 6;
    for (int i = 0; i < blades; ++i) {
        const qreal a0 = 90 + 360.0 * i / blades;
        QPainterPath blade;
        blade.moveTo(polar(c, 12, a0 + 12));
        blade.cubicTo(polar(c, 22, a0 + 8), polar(c, 31, a0 - 12), polar(c, 35, a0 - 40));
        blade.cubicTo(polar(c, 29, a0 - 24), polar(c, 21, a0 - 22), polar(c, 12, a0 - 28));
        blade.closeSubpath();
        QLinearGradient bladeFill(polar(c, 12, a0), polar(c, 35, a0 - 36));
        bladeFill.setColorAt(0.0, QColor(225, 228, 232));
        bladeFill.setColorAt(1.0, QColor(160, 168, 176));
        p.setBrush(bladeFill);
        p.setPen(Qt::NoPen);
        p.drawPath(blade);
    }

    // Hub and shaft.
    p.setBrush(QColor(38, 42, 47));
    p.setPen(QPen(QColor(120, 128, 136), 1.5));
    p.drawEllipse(circleRect(c, 11));
    p.setPen(Qt::NoPen);
    p.setBrush(kAccent);
    p.drawEllipse(circleRect(c, 5));
    p.setBrush(QColor(235, 246, 252));
    p.drawEllipse(circleRect(c + QPointF(-1.4, -1.4), 1.6));
}

// A small USB plug, the way the hint line asks for the cable.
void drawPlug(QPainter &p, const QPointF &centre, const QColor &c)
{
    p.save();
    p.translate(centre);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    // Cable, body, metal shell with its two contact windows.
    p.drawRoundedRect(QRectF(-9, -1, 4, 2), 0.6, 0.6);
    p.drawRoundedRect(QRectF(-6, -4, 8, 8), 1.5, 1.5);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(c, 1.2));
    p.drawRect(QRectF(2.6, -3.4, 6.4, 6.8));
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawRect(QRectF(4.6, -1.8, 1.6, 1.2));
    p.drawRect(QRectF(4.6, 0.6, 1.6, 1.2));
    p.restore();
}

QImage splash()
{
    const int w = 400, h = 355;
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(kBackground);
    QPainter p(&img);
    p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);

    const QPointF emblemCentre(w / 2.0, 115);

    // Slightly lighter behind the emblem, falling off to the window colour.
    QRadialGradient backdrop(emblemCentre, 260);
    backdrop.setColorAt(0.0, QColor(58, 63, 70));
    backdrop.setColorAt(1.0, kBackground);
    p.fillRect(img.rect(), backdrop);

    drawEmblem(p, emblemCentre);

    // Title, "II" in the accent colour.
    const QFont title = font(36, QFont::Bold, 5);
    const QString name = QStringLiteral("KOVA");
    const QString mark = QStringLiteral("II");
    const qreal gap = 13;
    const qreal nameW = textWidth(title, name);
    const qreal total = nameW + gap + textWidth(title, mark);
    const qreal left = (w - total) / 2;
    const qreal titleBase = 242;
    p.setFont(title);
    p.setPen(kText);
    p.drawText(QPointF(left, titleBase), name);
    p.setPen(kAccent);
    p.drawText(QPointF(left + nameW + gap, titleBase), mark);

    drawCentred(p, font(13, QFont::Normal, 0.6), QColor(160, 167, 175), w / 2.0, 265,
                QStringLiteral("Speed controller configuration"));

    // Version in a thin pill.
    const QFont verFont = font(11, QFont::Bold, 1);
    const QString ver = QStringLiteral("v1.03");
    const qreal verW = textWidth(verFont, ver);
    const QRectF pill(w / 2.0 - verW / 2 - 10, 277, verW + 20, 19);
    p.setPen(QPen(QColor(61, 174, 233, 170), 1));
    p.setBrush(QColor(61, 174, 233, 28));
    p.drawRoundedRect(pill, 9.5, 9.5);
    drawCentred(p, verFont, kAccent, w / 2.0, pill.bottom() - 5.5, ver);

    // Footer band with the hint.
    const QRectF footer(0, h - 36, w, 36);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(37, 40, 44));
    p.drawRect(footer);
    p.setPen(QPen(QColor(62, 68, 75), 1));
    p.drawLine(QPointF(0, footer.top() + 0.5), QPointF(w, footer.top() + 0.5));

    const QFont hintFont = font(12);
    const QString hint = QStringLiteral("Connect the USB cable and power the controller");
    const qreal hintW = textWidth(hintFont, hint);
    const qreal plugW = 18, plugGap = 9;
    const qreal hintLeft = (w - (plugW + plugGap + hintW)) / 2;
    const qreal footerMid = footer.center().y();
    drawPlug(p, QPointF(hintLeft + plugW / 2, footerMid), kAccent);
    p.setFont(hintFont);
    p.setPen(QColor(185, 190, 196));
    p.drawText(QPointF(hintLeft + plugW + plugGap, footerMid + 4.5), hint);

    p.end();
    return img;
}

// ------------------------------------------------------ program icon

// The emblem reduced to what survives 16 pixels: gauge arc and rotor hub.
// Laid out on a 16 unit grid and scaled, so the window icon, the desktop
// icons of every size and the scalable one are the same drawing.
void drawProgramIcon(QPainter &p, qreal size)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 16, size / 16);
    const QPointF c(8, 8);

    p.setPen(Qt::NoPen);
    p.setBrush(kBackground);
    p.drawRoundedRect(QRectF(0, 0, 16, 16), 3, 3);

    const QRectF arc = circleRect(c, 5.6);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(90, 98, 107), 1.6, Qt::SolidLine, Qt::FlatCap));
    p.drawArc(arc, 225 * 16, -270 * 16);
    p.setPen(QPen(kAccent, 1.8, Qt::SolidLine, Qt::FlatCap));
    p.drawArc(arc, 225 * 16, -185 * 16);

    p.setPen(Qt::NoPen);
    p.setBrush(kText);
    p.drawEllipse(circleRect(c, 2.4));
    p.setBrush(kBackground);
    p.drawEllipse(circleRect(c, 0.9));
    p.restore();
}

QImage programIcon(int size)
{
    QImage img = transparentImage(size, size);
    QPainter p(&img);
    drawProgramIcon(p, size);
    p.end();
    return img;
}

bool saveScalableIcon(const QString &dir, const QString &file)
{
    const QString path = QDir(dir).filePath(file);
    const int size = 256;
    QBuffer buffer;
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    svg.setSize(QSize(size, size));
    svg.setViewBox(QRect(0, 0, size, size));
    svg.setTitle(QStringLiteral("KOVA II"));
    svg.setDescription(QStringLiteral("Speed controller configuration"));
    QPainter p(&svg);
    drawProgramIcon(p, size);
    p.end();
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(buffer.data()) != buffer.data().size()) {
        std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(path), qPrintable(out.errorString()));
        return false;
    }
    std::printf("wrote %s (scalable)\n", qPrintable(path));
    return true;
}

// ------------------------------------------------------------- status LEDs

// Two colours only, no antialiasing: a filled disc with a black outline.
QImage led(const QColor &colour)
{
    static const char *const shape[15] = {
        ".....#####.....", "...##ooooo##...", "..#ooooooooo#..", ".#ooooooooooo#.", ".#ooooooooooo#.",
        "#ooooooooooooo#", "#ooooooooooooo#", "#ooooooooooooo#", "#ooooooooooooo#", "#ooooooooooooo#",
        ".#ooooooooooo#.", ".#ooooooooooo#.", "..#ooooooooo#..", "...##ooooo##...", ".....#####.....",
    };
    QImage img(15, 15, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    for (int y = 0; y < 15; ++y)
        for (int x = 0; x < 15; ++x) {
            if (shape[y][x] == '#')
                img.setPixelColor(x, y, Qt::black);
            else if (shape[y][x] == 'o')
                img.setPixelColor(x, y, colour);
        }
    return img;
}

// ------------------------------------------------------------------ arrows

// 20x10 with a small solid triangle in the middle, matching the 20x12
// spin buttons and the combo box's drop-down area.
QImage arrow(bool up, const QColor &colour)
{
    QImage img = transparentImage(20, 10);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    // Whole-pixel corners and 45 degree sides keep the edges crisp.
    QPolygonF tri;
    if (up)
        tri << QPointF(5, 7) << QPointF(15, 7) << QPointF(10, 2);
    else
        tri << QPointF(5, 3) << QPointF(15, 3) << QPointF(10, 8);
    p.drawPolygon(tri);
    p.end();
    return img;
}

}  // namespace

int main(int argc, char *argv[])
{
    // Drawing text needs a GUI application but never a screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 2 || !QDir(args.at(1)).exists()) {
        std::fprintf(stderr, "usage: kova-artwork <resources folder>\n");
        return 2;
    }
    const QString dir = args.at(1);

    if (!QImageWriter::supportedImageFormats().contains("ico")) {
        std::fprintf(stderr, "this Qt has no ico image writer (imageformats plugin missing)\n");
        return 1;
    }

    bool ok = true;
    ok &= save(programIcon(16), dir, QStringLiteral("main_icon.ico"), "ico");
    ok &= save(splash(), dir, QStringLiteral("splash.png"), "png");
    ok &= save(led(QColor(255, 0, 0)), dir, QStringLiteral("rled.ico"), "ico");
    ok &= save(led(QColor(255, 255, 0)), dir, QStringLiteral("yled.ico"), "ico");
    ok &= save(led(QColor(0, 255, 0)), dir, QStringLiteral("gled.ico"), "ico");
    ok &= save(led(QColor(0, 179, 0)), dir, QStringLiteral("dgled.ico"), "ico");
    ok &= save(arrow(false, kText), dir, QStringLiteral("da.png"), "png");
    ok &= save(arrow(false, kDisabled), dir, QStringLiteral("dd.png"), "png");
    ok &= save(arrow(false, kAccent), dir, QStringLiteral("dh.png"), "png");
    ok &= save(arrow(true, kText), dir, QStringLiteral("ua.png"), "png");
    ok &= save(arrow(true, kDisabled), dir, QStringLiteral("ud.png"), "png");
    ok &= save(arrow(true, kAccent), dir, QStringLiteral("uh.png"), "png");
    // The desktop's icons, installed into the hicolor theme.
    const QString icons = QDir(dir).filePath(QStringLiteral("icons"));
    QDir().mkpath(icons);
    for (int size : {16, 32, 48, 64, 128, 256})
        ok &= save(programIcon(size), icons, QStringLiteral("kova-%1.png").arg(size), "png");
    ok &= saveScalableIcon(icons, QStringLiteral("kova.svg"));
    return ok ? 0 : 1;
}
