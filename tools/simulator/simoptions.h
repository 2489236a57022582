#pragma once

#include <QMap>
#include <QString>

#include <optional>

// Parsers for the command line and the cell file of kova-simulator.

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
