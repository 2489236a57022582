#pragma once

#include "exitstatus.h"

#include <QJsonObject>
#include <QString>

class QTextStream;

// What a command tells its user: lines of text on standard output, or one
// JSON document at the end; failures as one sentence on standard error.
class Report
{
public:
    Report(QTextStream &out, QTextStream &err, bool json);

    bool json() const { return asJson; }
    QTextStream &errors() { return err; }

    // A value of the result, "label: text" in text form.
    void field(const QString &key, const QJsonValue &value, const QString &label, const QString &text);
    void field(const QString &key, const QJsonValue &value, const QString &label);
    // An entry of the list `key`, one line in text form.
    void entry(const QString &key, const QJsonObject &value, const QString &line);
    // What became of one parameter, "state  line" in text form.
    void parameter(const QString &state, const QString &name, const QString &line, QJsonObject details = {});
    // Text form only: a remark that is no part of the result.
    void note(const QString &line);
    // Standard error, in both forms: what the user must know while it runs.
    void warn(const QString &sentence);

    ExitStatus fail(const Failure &failure);
    // Ends the report; the JSON document carries the status.
    int finish(ExitStatus status);

private:
    void writeLine(const QString &line);

    QTextStream &out;
    QTextStream &err;
    bool asJson;
    QJsonObject document;
};
