// The commands that only look: ports, info and read.
#include "commands.h"
#include "deviceconnection.h"
#include "report.h"

#include <QJsonArray>
#include <QSerialPortInfo>

namespace commands {

namespace {

QJsonArray cellsJson(const ParameterValue &value)
{
    QJsonArray cells{value.cell};
    if (value.hcell > 0)
        cells << value.hcell;
    return cells;
}

QString cellsText(const ParameterValue &value)
{
    return value.hcell > 0 ? QString("cells %1,%2").arg(value.cell).arg(value.hcell)
                           : QString("cell %1").arg(value.cell);
}

}  // namespace

ExitStatus ports(DeviceConnection &connection, Report &report)
{
    const QList<QSerialPortInfo> available = QSerialPortInfo::availablePorts();
    if (available.isEmpty())
        report.note(QStringLiteral("No serial ports."));
    for (const QSerialPortInfo &info : available) {
        const EchoResult echo = connection.session().echoTest(info.portName());
        QJsonObject entry{{"name", info.portName()}, {"path", info.systemLocation()}};
        QString result;
        if (echo.open == OpenOutcome::Opened) {
            result = echo.echoed ? QStringLiteral("echoes: the cable") : QStringLiteral("opens, no echo");
            entry.insert("echo", echo.echoed);
        } else {
            result = "does not open: " + connection.openFailureReason(info.portName());
            entry.insert("problem", result);
        }
        report.entry("ports", entry, QString("%1  %2").arg(info.portName(), result));
    }
    return ExitStatus::Done;
}

ExitStatus info(DeviceConnection &connection, Report &report)
{
    const DeviceIdentity &identity = connection.identity();
    const DeviceDescription &description = connection.description();
    report.field("port", connection.portName(), "Port");
    report.field("dialect", dialectName(connection.dialect()), "Dialect");
    report.field("baudRate", baudRateOf(connection.dialect()), "Baud rate");
    report.field("name", description.name, "Device");
    report.field("id", identity.deviceId, "Identifier");
    report.field("hardware", identity.hwVersion, "Hardware revision");
    report.field("bootloader", identity.blVersion, "Bootloader version");
    report.field("firmware", connection.settingsIdentity().firmwareText(), "Firmware version");
    report.field("description", connection.descriptionFile(), "Description file");
    report.field("blockSize", qint64(description.pageSize), "Block size");
    report.field("blockCount", qint64(quint8(description.pageCount)), "Block count");
    return ExitStatus::Done;
}

ExitStatus read(DeviceConnection &connection, Report &report)
{
    if (std::optional<Failure> failure = connection.readValues())
        return report.fail(*failure);
    const QVector<ParameterValue> values = connection.values();
    int nameWidth = 0;
    for (const ParameterValue &value : values)
        nameWidth = std::max(nameWidth, int(value.name.size()));
    for (const ParameterValue &value : values) {
        const QJsonObject entry{{"name", value.name},
                                {"shown", value.shown},
                                {"raw", qint64(value.raw)},
                                {"cells", cellsJson(value)},
                                {"disabled", value.disabled}};
        report.entry("parameters", entry,
                     QString("%1  %2  (raw %3, %4)%5")
                         .arg(value.name, -nameWidth)
                         .arg(value.shown)
                         .arg(value.raw)
                         .arg(cellsText(value), value.disabled ? QStringLiteral(", disabled") : QString()));
    }
    return ExitStatus::Done;
}

}  // namespace commands
