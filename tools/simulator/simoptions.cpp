#include "simoptions.h"

#include <QRegularExpression>
#include <QStringList>
#include <QVector>

namespace {

constexpr int LastCell = 255;

std::optional<int> parseNumber(const QString &text, int max)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    if (!ok || value < 0 || value > max)
        return std::nullopt;
    return value;
}

std::optional<QVector<quint8>> parseBytes(const QStringList &parts)
{
    QVector<quint8> bytes;
    for (const QString &part : parts) {
        const std::optional<int> value = parseNumber(part, 255);
        if (!value)
            return std::nullopt;
        bytes.append(static_cast<quint8>(*value));
    }
    return bytes;
}

}  // namespace

std::optional<QMap<int, quint8>> parseCellList(const QString &text, QString *error)
{
    QMap<int, quint8> cells;
    const QStringList lines = text.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines.at(i).section('#', 0, 0).trimmed();
        if (line.isEmpty())
            continue;
        const QStringList fields = line.split(QRegularExpression("\\s+"));
        const std::optional<int> cell = fields.size() == 2 ? parseNumber(fields.at(0), LastCell) : std::nullopt;
        const std::optional<int> value = fields.size() == 2 ? parseNumber(fields.at(1), 255) : std::nullopt;
        if (!cell || !value) {
            *error = QStringLiteral("line %1: expected \"cell value\", got \"%2\"").arg(i + 1).arg(line);
            return std::nullopt;
        }
        cells.insert(*cell, static_cast<quint8>(*value));
    }
    return cells;
}

std::optional<QPair<int, quint8>> parseCellAssignment(const QString &text)
{
    const QStringList parts = text.split('=');
    if (parts.size() != 2)
        return std::nullopt;
    const std::optional<int> cell = parseNumber(parts.at(0), LastCell);
    const std::optional<int> value = parseNumber(parts.at(1), 255);
    if (!cell || !value)
        return std::nullopt;
    return qMakePair(*cell, static_cast<quint8>(*value));
}

std::optional<IdentityOption> parseIdentity(const QString &text)
{
    const QStringList parts = text.split(',');
    const std::optional<QVector<quint8>> bytes = parts.size() == 6 ? parseBytes(parts) : std::nullopt;
    if (!bytes)
        return std::nullopt;
    const QVector<quint8> &b = *bytes;
    return IdentityOption{b[0], b[1], b[2], b[3], b[4], b[5]};
}

std::optional<AfterUploadOption> parseAfterUpload(const QString &text)
{
    const QStringList parts = text.split(',');
    if (parts.size() != 2)
        return std::nullopt;
    const QStringList version = parts.at(0).split('.');
    const std::optional<QVector<quint8>> bytes = version.size() == 3 ? parseBytes(version) : std::nullopt;
    const std::optional<int> blocks = parseNumber(parts.at(1), 0xFFFF);
    if (!bytes || !blocks)
        return std::nullopt;
    const QVector<quint8> &b = *bytes;
    return AfterUploadOption{b[0], b[1], b[2], *blocks};
}

std::optional<LateReplyOption> parseLateReply(const QString &text)
{
    const QStringList parts = text.split(',');
    if (parts.size() > 2)
        return std::nullopt;
    const std::optional<int> ms = parseNumber(parts.at(0), 60000);
    const std::optional<int> chunks = parts.size() == 2 ? parseNumber(parts.at(1), 255) : 1;
    if (!ms || !chunks || *chunks < 1)
        return std::nullopt;
    return LateReplyOption{*ms, *chunks};
}
