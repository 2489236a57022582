#include "report.h"

#include <QJsonDocument>
#include <QTextStream>

Report::Report(QTextStream &out, QTextStream &err, bool json) : out(&out), err(err), asJson(json) {}

QTextStream &Report::claimOutput()
{
    QTextStream &claimed = *out;
    out = &err;
    return claimed;
}

// Each line as it happens: a load's lines follow its writes.
void Report::writeLine(const QString &text)
{
    if (quiet)
        return;
    *out << text << '\n';
    out->flush();
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
    if (asJson)
        list(key, {value});
    else
        writeLine(line);
}

void Report::list(const QString &key, const QJsonArray &entries)
{
    if (!asJson)
        return;
    QJsonArray listed = document.value(key).toArray();
    for (const QJsonValue &entry : entries)
        listed.append(entry);
    document.insert(key, listed);
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

void Report::warn(const QString &sentence)
{
    warned = sentence;
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
        *out << QJsonDocument(document).toJson(QJsonDocument::Indented);
    }
    out->flush();
    return int(status);
}
