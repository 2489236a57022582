#include "report.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTextStream>

Report::Report(QTextStream &out, QTextStream &err, bool json) : out(out), err(err), asJson(json)
{
}

void Report::field(const QString &key, const QJsonValue &value, const QString &label, const QString &text)
{
    if (asJson)
        document.insert(key, value);
    else
        writeLine(label + ": " + text);
}

void Report::field(const QString &key, const QJsonValue &value, const QString &label)
{
    field(key, value, label, value.isString() ? value.toString() : value.toVariant().toString());
}

void Report::entry(const QString &key, const QJsonObject &value, const QString &line)
{
    if (!asJson) {
        writeLine(line);
        return;
    }
    QJsonArray list = document.value(key).toArray();
    list.append(value);
    document.insert(key, list);
}

void Report::parameter(const QString &state, const QString &name, const QString &line, QJsonObject details)
{
    details.insert("name", name);
    details.insert("state", state);
    entry("parameters", details, QString("%1 %2").arg(state, -13).arg(line));
}

void Report::note(const QString &line)
{
    if (!asJson)
        writeLine(line);
}

// Each line leaves at once: a program that is killed has still told what it
// changed up to then.
void Report::writeLine(const QString &line)
{
    out << line << '\n';
    out.flush();
}

void Report::warn(const QString &sentence)
{
    err << sentence << '\n';
    err.flush();
}

ExitStatus Report::fail(const Failure &failure)
{
    warn(failure.sentence);
    document.insert("error", failure.sentence);
    return failure.status;
}

int Report::finish(ExitStatus status)
{
    if (asJson) {
        document.insert("status", int(status));
        out << QJsonDocument(document).toJson(QJsonDocument::Indented);
    }
    out.flush();
    return int(status);
}
