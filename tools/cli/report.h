#pragma once

#include "exitstatus.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

class QTextStream;

// What a command tells its user: lines of text on standard output, or one
// JSON document at the end; failures as one sentence on standard error.
class Report
{
public:
    Report(QTextStream &out, QTextStream &err, bool json);

    // Quiet: nothing on standard output but the JSON document.
    void setQuiet(bool on) { quiet = on; }

    bool json() const { return asJson; }
    bool isQuiet() const { return quiet; }
    QTextStream &errors() { return err; }
    // Standard output for data of the command's own (a settings file); the
    // report goes to standard error from then on.
    QTextStream &claimOutput();

    // A value of the result, "label: text" in text form.
    void field(const QString &key, const QJsonValue &value, const QString &label, const QString &text);
    void field(const QString &key, const QJsonValue &value, const QString &label);
    // An entry of the list `key`, one line in text form.
    void entry(const QString &key, const QJsonObject &value, const QString &line);
    // The list `key` of the JSON document with `entries` added: there, if
    // empty, for a script that reads it. Nothing in text form.
    void list(const QString &key, const QJsonArray &entries = QJsonArray());
    // What became of one parameter, "state  line" in text form.
    void parameter(const QString &state, const QString &name, const QString &line, QJsonObject details = {});
    // Text form only: a remark that is no part of the result.
    void note(const QString &line);
    // Standard error, in both forms: what the user must know while it runs.
    void warn(const QString &sentence);

    ExitStatus fail(const Failure &failure);
    // What a command run inside another one told: its JSON document so far
    // and the last sentence it warned with.
    const QJsonObject &result() const { return document; }
    QString lastWarning() const { return warned; }
    // Ends the report; the JSON document carries the status.
    int finish(ExitStatus status);

private:
    void writeLine(const QString &text);

    QTextStream *out;
    QTextStream &err;
    bool asJson;
    bool quiet = false;
    QJsonObject document;
    QString warned;
};
