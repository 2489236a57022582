#include "batchlog.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>

#include <utility>
#include <vector>

namespace {

template <typename Value>
QJsonValue orNull(const std::optional<Value> &value)
{
    return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}

// In the order a reader of the file expects them; QJsonObject would sort them.
std::vector<std::pair<QString, QJsonValue>> fields(const BatchRecord &record)
{
    return {
        {"unit", record.unit},
        {"started", batchlog::timeText(record.started)},
        {"ended", batchlog::timeText(record.ended)},
        {"port", record.port},
        {"adapter", orNull(record.adapter)},
        {"device", orNull(record.device)},
        {"id", orNull(record.id)},
        {"hw", orNull(record.hw)},
        {"bl", orNull(record.bl)},
        {"firmware_before", orNull(record.firmwareBefore)},
        {"firmware_after", orNull(record.firmwareAfter)},
        {"package", orNull(record.package)},
        {"package_sha256", orNull(record.packageSha256)},
        {"settings", orNull(record.settings)},
        {"backup", orNull(record.backup)},
        {"result", batchlog::resultName(record.result)},
        {"reason", record.reason},
    };
}

QByteArray compact(const QJsonValue &value)
{
    // A lone value has no document of its own: write it as the one entry of an array.
    const QByteArray array = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

}  // namespace

namespace batchlog {

QString defaultName(const QDate &day)
{
    return QString("kova-batch-%1.jsonl").arg(day.toString("yyyyMMdd"));
}

QString timeText(const QDateTime &time)
{
    const QDateTime local = time.toLocalTime();
    const int offset = local.offsetFromUtc();
    const int minutes = qAbs(offset) / 60;
    return local.toString("yyyy-MM-ddTHH:mm:ss")
           + QString("%1%2:%3")
                 .arg(offset < 0 ? '-' : '+')
                 .arg(minutes / 60, 2, 10, QChar('0'))
                 .arg(minutes % 60, 2, 10, QChar('0'));
}

QString resultName(BatchRecord::Result result)
{
    switch (result) {
    case BatchRecord::Result::Ok: return QStringLiteral("ok");
    case BatchRecord::Result::Refused: return QStringLiteral("refused");
    case BatchRecord::Result::Failed: break;
    }
    return QStringLiteral("failed");
}

QJsonObject toJson(const BatchRecord &record)
{
    QJsonObject object;
    for (const auto &[key, value] : fields(record))
        object.insert(key, value);
    return object;
}

QByteArray line(const BatchRecord &record)
{
    QByteArray text = "{";
    for (const auto &[key, value] : fields(record)) {
        if (text.size() > 1)
            text += ',';
        text += compact(key) + ':' + compact(value);
    }
    return text + "}\n";
}

}  // namespace batchlog

bool BatchLog::open(const QString &path, QString *error)
{
    file.setFileName(path);
    // Unbuffered: each record is one write of its own, appended whole.
    if (file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return true;
    *error = file.errorString();
    return false;
}

bool BatchLog::append(const BatchRecord &record, QString *error)
{
    const QByteArray text = batchlog::line(record);
    if (file.write(text) == text.size()) {
        written.append({record.unit, text.chopped(1)});
        return true;
    }
    *error = file.errorString();
    return false;
}

QList<int> BatchLog::unitsNotReadBack() const
{
    QFile readBack(file.fileName());
    const QList<QByteArray> lines =
        readBack.open(QIODevice::ReadOnly) ? readBack.readAll().split('\n') : QList<QByteArray>();
    QList<int> missing;
    for (const auto &[unit, line] : written)
        if (!lines.contains(line))
            missing << unit;
    return missing;
}
