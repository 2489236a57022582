#pragma once

#include <QElapsedTimer>
#include <QString>

class QTextStream;

namespace progressdisplay {

// "m:ss"; "-:--" for an unknown (negative) time.
QString duration(qint64 ms);

// "[#####-----]  12/64 blocks  18%  0:03 elapsed  0:14 remaining"
QString bar(int done, int total, qint64 elapsedMs, int width, const QString &unit = QStringLiteral("blocks"));

// "block 12 of 64 (18%), 0:03 elapsed"
QString line(int done, int total, qint64 elapsedMs);

}  // namespace progressdisplay

// An upload's progress on standard error: a bar redrawn in place on a
// terminal, one line per block otherwise; nothing when quiet.
class UploadProgress
{
public:
    UploadProgress(QTextStream &err, bool onTerminal, int totalBlocks, bool quiet = false);

    void blockDone();
    // Ends the bar's line.
    void end();
    int done() const { return blocks; }

private:
    QTextStream &err;
    bool onTerminal;
    bool quiet;
    int total;
    int blocks = 0;
    QElapsedTimer clock;
};

// The cells of a read on a terminal: a bar redrawn in place, erased when the
// read ends so that only the result stays.
class CellProgress
{
public:
    explicit CellProgress(QTextStream &err);

    void show(int done, int total);
    void erase();

private:
    QTextStream &err;
    QElapsedTimer clock;
    bool shown = false;
};
