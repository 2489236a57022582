#pragma once

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QString>

#include <optional>

// One controller of a batch, as its record keeps it. Every key is always
// written; what a unit did not get as far as is null.
struct BatchRecord {
    enum class Result { Ok, Failed, Refused };

    int unit = 0;  // 1, 2, ... within its batch
    QDateTime started;
    QDateTime ended;
    QString port;
    std::optional<QString> adapter;  // the adapter's USB serial number
    std::optional<QString> device;  // the description's name
    std::optional<int> id;
    std::optional<int> hw;
    std::optional<int> bl;
    std::optional<QString> firmwareBefore;
    std::optional<QString> firmwareAfter;  // only once flashed
    std::optional<QString> package;
    std::optional<QString> packageSha256;
    std::optional<QString> settings;
    std::optional<QString> backup;
    Result result = Result::Failed;
    QString reason;  // the sentence of the failure or refusal; empty when ok
};

namespace batchlog {

// "kova-batch-YYYYMMDD.jsonl"
QString defaultName(const QDate &day);
// ISO 8601 in local time with its offset from UTC, "+00:00" included.
QString timeText(const QDateTime &time);
QString resultName(BatchRecord::Result result);
QJsonObject toJson(const BatchRecord &record);
// One line of JSON, the keys in the record's order, ending in a newline.
QByteArray line(const BatchRecord &record);

}  // namespace batchlog

// The record file: JSON Lines, only ever appended to. Each record goes out
// in one write, so batches on other cables may share the file.
class BatchLog
{
public:
    // Opens (or makes) the file for appending; false with *error when it cannot.
    bool open(const QString &path, QString *error);
    bool append(const BatchRecord &record, QString *error);
    QString path() const { return file.fileName(); }
    // The units whose records the file, read back, does not hold as they
    // were written.
    QList<int> unitsNotReadBack() const;

private:
    QFile file;
    QList<QPair<int, QByteArray>> written;
};
