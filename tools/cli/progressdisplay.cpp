#include "progressdisplay.h"

#include <QTextStream>

#include <algorithm>

namespace progressdisplay {

namespace {

int percent(int done, int total)
{
    return total > 0 ? int(qint64(done) * 100 / total) : 100;
}

}  // namespace

QString duration(qint64 ms)
{
    if (ms < 0)
        return QStringLiteral("-:--");
    const qint64 seconds = ms / 1000;
    return QString("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QString bar(int done, int total, qint64 elapsedMs, int width, const QString &unit)
{
    const int filled = total > 0 ? int(qint64(std::clamp(done, 0, total)) * width / total) : width;
    const qint64 remainingMs = done > 0 ? elapsedMs * (total - done) / done : -1;
    return QString("[%1%2] %3/%4 %5 %6% %7 elapsed %8 remaining")
        .arg(QString(filled, '#'), QString(width - filled, '-'))
        .arg(done, QString::number(total).size())
        .arg(total)
        .arg(unit)
        .arg(percent(done, total), 3)
        .arg(duration(elapsedMs), duration(remainingMs));
}

QString line(int done, int total, qint64 elapsedMs)
{
    return QString("block %1 of %2 (%3%), %4 elapsed")
        .arg(done)
        .arg(total)
        .arg(percent(done, total))
        .arg(duration(elapsedMs));
}

}  // namespace progressdisplay

namespace {
constexpr int BarWidth = 30;
}

UploadProgress::UploadProgress(QTextStream &err, bool onTerminal, int totalBlocks, bool quiet)
    : err(err), onTerminal(onTerminal), quiet(quiet), total(totalBlocks)
{
    clock.start();
    if (onTerminal && !quiet) {
        err << '\r' << progressdisplay::bar(0, total, 0, BarWidth);
        err.flush();
    }
}

void UploadProgress::blockDone()
{
    ++blocks;
    if (quiet)
        return;
    if (onTerminal)
        err << '\r' << progressdisplay::bar(blocks, total, clock.elapsed(), BarWidth);
    else
        err << progressdisplay::line(blocks, total, clock.elapsed()) << '\n';
    err.flush();
}

void UploadProgress::end()
{
    if (onTerminal && !quiet)
        err << '\n';
    err.flush();
}

CellProgress::CellProgress(QTextStream &err) : err(err)
{
    clock.start();
}

void CellProgress::show(int done, int total)
{
    err << '\r' << progressdisplay::bar(done, total, clock.elapsed(), BarWidth, QStringLiteral("cells"));
    err.flush();
    shown = true;
}

void CellProgress::erase()
{
    if (!shown)
        return;
    // Back to the line's start, and clear it.
    err << "\r\x1b[K";
    err.flush();
    shown = false;
}
