#include "commands.h"
#include "deviceconnection.h"
#include "parameterwriter.h"
#include "report.h"

#include "description/valuetext.h"

namespace commands {

namespace {

struct Assignment {
    const ParameterDescription *parameter;
    int index;  // in the description, to find its current value
    quint32 raw;
    QString text;
    bool rounded;  // the device will show another number than the text
};

// Every assignment checked against the description before anything is sent.
std::optional<Failure> parseAssignments(const DeviceDescription &description, const QStringList &texts,
                                        QVector<Assignment> *assignments)
{
    for (const QString &text : texts) {
        const int equals = text.indexOf('=');
        const QString name = text.left(equals);
        const QString value = text.mid(equals + 1);
        const ParameterDescription *parameter = findParameter(description, name);
        if (!parameter)
            return Failure{ExitStatus::BadUsage, QString("The device has no parameter \"%1\".").arg(name)};
        const valuetext::Parsed parsed = valuetext::fromText(*parameter, value);
        if (!parsed.ok())
            return Failure{ExitStatus::BadUsage, valueRefusalText(*parameter, value, parsed.refusal)};
        *assignments << Assignment{parameter, int(parameter - description.parameters.constData()), parsed.raw, value,
                                   parsed.rounded};
    }
    return std::nullopt;
}

// The window cannot change a parameter that a dependency disables, judged
// on the values once every assignment is made.
std::optional<Failure> refuseDisabled(const DeviceDescription &description, const QVector<ParameterValue> &current,
                                      const QVector<Assignment> &assignments)
{
    QVector<ParameterValue> after = current;
    for (const Assignment &assignment : assignments) {
        after[assignment.index].raw = assignment.raw;
        after[assignment.index].shown = valuetext::toText(*assignment.parameter, assignment.raw);
    }
    applyDependencies(description, after);
    for (const Assignment &assignment : assignments) {
        const ParameterValue &value = after.at(assignment.index);
        if (!value.disabled || value.raw == current.at(assignment.index).raw)
            continue;
        const ParameterValue &source = after.at(value.disabledBy);
        return Failure{ExitStatus::BadUsage, QString("\"%1\" cannot be set while \"%2\" is %3; nothing was written.")
                                                 .arg(value.name, source.name, source.shown)};
    }
    return std::nullopt;
}

}  // namespace

ExitStatus set(DeviceConnection &connection, Report &report, const QStringList &texts)
{
    QVector<Assignment> assignments;
    if (std::optional<Failure> failure = parseAssignments(connection.description(), texts, &assignments))
        return report.fail(*failure);
    if (std::optional<Failure> failure = connection.readValues())
        return report.fail(*failure);
    if (std::optional<Failure> failure = refuseDisabled(connection.description(), connection.values(), assignments))
        return report.fail(*failure);
    WriteFailures failures;
    for (const Assignment &assignment : assignments) {
        const ParameterValue current = connection.values().at(assignment.index);
        const QString shown = valuetext::toText(*assignment.parameter, assignment.raw);
        QJsonObject details{{"raw", qint64(assignment.raw)}, {"shown", shown}};
        QString rounding;
        if (assignment.rounded) {
            details.insert("rounded", assignment.text.trimmed());
            rounding = QString(" (%1 rounded to %2)").arg(assignment.text.trimmed(), shown);
        }
        if (current.raw == assignment.raw) {
            report.parameter("equal", current.name, QString("%1: %2%3").arg(current.name, shown, rounding), details);
            continue;
        }
        if (std::optional<Failure> failure = writeParameter(connection, *assignment.parameter, assignment.raw)) {
            report.parameter("failed", current.name, failure->sentence, details);
            if (!failures.goOnAfter(*failure))
                break;
            continue;
        }
        report.parameter("changed", current.name,
                         QString("%1: %2 -> %3%4").arg(current.name, current.shown, shown, rounding), details);
    }
    return failures.end(report);
}

}  // namespace commands
