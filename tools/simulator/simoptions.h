#pragma once

#include "simprotocol.h"

#include <QList>
#include <QMap>
#include <QString>

#include <functional>
#include <optional>

// Parsers for the command line, the cell file and the line file of kova-simulator.

// "vorn", "kelpa", "ulma-fast", "ulma-slow"
const QMap<QString, SimProtocol> &dialectsByName();

// Lines "cell value" in decimal; '#' starts a comment; blank lines are fine.
// On a bad line returns nothing and sets *error to say which line.
std::optional<QMap<int, quint8>> parseCellList(const QString &text, QString *error);

// "N=V"
std::optional<QPair<int, quint8>> parseCellAssignment(const QString &text);

struct IdentityOption {
    quint8 deviceId, hwVersion, blVersion, fwMajor, fwMinor, fwBuild;
};
// "id,hw,bl,major,minor,build"
std::optional<IdentityOption> parseIdentity(const QString &text);

struct AfterUploadOption {
    quint8 fwMajor, fwMinor, fwBuild;
    int blockCount;
};
// "major.minor.build,blocks"
std::optional<AfterUploadOption> parseAfterUpload(const QString &text);

struct LateReplyOption {
    int ms;
    int chunks;
};
// "ms" or "ms,chunks"
std::optional<LateReplyOption> parseLateReply(const QString &text);

// One controller of a production line, as it comes to the cable.
struct LineUnit {
    SimProtocol protocol = SimProtocol::Vorn;
    IdentityOption identity{};
    QMap<int, quint8> cells;  // set after the identity
    // The cell keeps this value whatever is written (setCellLimits(v, v)).
    QMap<int, quint8> stuckCells;
    // Answered pings in a row, nothing else between, then it leaves.
    int leavesAfterPings = 3;
};

// The text of a file that a line file names, by the name it gives; nothing
// when it cannot be read.
using LineFileReader = std::function<std::optional<QString>(const QString &name)>;

// One unit a line, words "key=value": dialect=NAME (vorn unless given),
// identity=id,hw,bl,major,minor,build, cells=FILE (lines as in a cell file),
// stuck=N=V (repeatable) and leaves-after=PINGS. As on the command line the
// identity wins over the identity cells of the cell file. '#' starts a
// comment; blank lines are fine. On a bad line, or without any unit, returns
// nothing and sets *error to say which line.
std::optional<QList<LineUnit>> parseLineFile(const QString &text, const LineFileReader &readFile, QString *error);
