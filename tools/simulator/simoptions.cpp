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

struct TextLine {
    int number;
    QString text;
};

// The lines that say something: comments from '#' and blank lines left out.
QList<TextLine> meaningfulLines(const QString &text)
{
    QList<TextLine> meaningful;
    const QStringList lines = text.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines.at(i).section('#', 0, 0).trimmed();
        if (!line.isEmpty())
            meaningful.append({i + 1, line});
    }
    return meaningful;
}

QStringList wordsOf(const QString &line)
{
    return line.split(QRegularExpression("\\s+"));
}

const QStringList LineKeys{"dialect", "identity", "cells", "stuck", "leaves-after"};

// On a bad word returns nothing and sets *problem.
std::optional<LineUnit> parseLineUnit(const QString &line, const LineFileReader &readFile, QString *problem)
{
    const auto refuse = [problem](const QString &why) {
        *problem = why;
        return std::nullopt;
    };
    QMap<QString, QString> values;
    QStringList stuck;
    for (const QString &word : wordsOf(line)) {
        const QString key = word.section('=', 0, 0);
        const QString value = word.section('=', 1);
        if (!word.contains('=') || !LineKeys.contains(key))
            return refuse(QStringLiteral("unknown word \"%1\"").arg(word));
        if (key == "stuck")
            stuck.append(value);
        else if (values.contains(key))
            return refuse(QStringLiteral("%1 given twice").arg(key));
        else
            values.insert(key, value);
    }

    LineUnit unit;
    const QString dialect = values.value("dialect", "vorn");
    if (!dialectsByName().contains(dialect))
        return refuse(QStringLiteral("unknown dialect \"%1\"").arg(dialect));
    unit.protocol = dialectsByName().value(dialect);
    if (values.contains("cells")) {
        const QString name = values.value("cells");
        const std::optional<QString> text = readFile(name);
        if (!text)
            return refuse(QStringLiteral("cannot read %1").arg(name));
        QString error;
        const std::optional<QMap<int, quint8>> cells = parseCellList(*text, &error);
        if (!cells)
            return refuse(QStringLiteral("%1: %2").arg(name, error));
        unit.cells = *cells;
    }
    if (values.contains("identity")) {
        const std::optional<IdentityOption> identity = parseIdentity(values.value("identity"));
        if (!identity)
            return refuse(
                QStringLiteral("identity wants id,hw,bl,major,minor,build, got \"%1\"").arg(values.value("identity")));
        unit.identity = *identity;
        for (const int cell : identityCellList(familyOf(unit.protocol)))
            unit.cells.remove(cell);
    }
    for (const QString &assignment : stuck) {
        const std::optional<QPair<int, quint8>> cell = parseCellAssignment(assignment);
        if (!cell)
            return refuse(QStringLiteral("stuck wants N=V, got \"%1\"").arg(assignment));
        unit.stuckCells.insert(cell->first, cell->second);
    }
    if (values.contains("leaves-after")) {
        const std::optional<int> pings = parseNumber(values.value("leaves-after"), 0xFFFF);
        if (!pings || *pings < 1)
            return refuse(QStringLiteral("leaves-after wants a number of pings from 1, got \"%1\"")
                              .arg(values.value("leaves-after")));
        unit.leavesAfterPings = *pings;
    }
    return unit;
}

}  // namespace

const QMap<QString, SimProtocol> &dialectsByName()
{
    static const QMap<QString, SimProtocol> dialects{
        {"vorn", SimProtocol::Vorn},
        {"kelpa", SimProtocol::Kelpa},
        {"ulma-fast", SimProtocol::UlmaFast},
        {"ulma-slow", SimProtocol::UlmaSlow},
    };
    return dialects;
}

std::optional<QMap<int, quint8>> parseCellList(const QString &text, QString *error)
{
    QMap<int, quint8> cells;
    for (const TextLine &line : meaningfulLines(text)) {
        const QStringList fields = wordsOf(line.text);
        const std::optional<int> cell = fields.size() == 2 ? parseNumber(fields.at(0), LastCell) : std::nullopt;
        const std::optional<int> value = fields.size() == 2 ? parseNumber(fields.at(1), 255) : std::nullopt;
        if (!cell || !value) {
            *error = QStringLiteral("line %1: expected \"cell value\", got \"%2\"").arg(line.number).arg(line.text);
            return std::nullopt;
        }
        cells.insert(*cell, static_cast<quint8>(*value));
    }
    return cells;
}

std::optional<QList<LineUnit>> parseLineFile(const QString &text, const LineFileReader &readFile, QString *error)
{
    QList<LineUnit> units;
    for (const TextLine &line : meaningfulLines(text)) {
        QString problem;
        const std::optional<LineUnit> unit = parseLineUnit(line.text, readFile, &problem);
        if (!unit) {
            *error = QStringLiteral("line %1: %2").arg(line.number).arg(problem);
            return std::nullopt;
        }
        units.append(*unit);
    }
    if (units.isEmpty()) {
        *error = QStringLiteral("no unit");
        return std::nullopt;
    }
    return units;
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
