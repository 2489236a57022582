// The commands that only look: ports, info and read.
#include "commands.h"
#include "deviceconnection.h"
#include "portwording.h"
#include "report.h"

#include "device/describing.h"
#include "description/parameterdependency.h"
#include "link/portlist.h"

#include <QJsonArray>

#include <algorithm>

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

// The parameters `names` names, in that order, each once.
std::optional<Failure> chooseParameters(const DeviceDescription &description, const QStringList &names,
                                        QVector<int> *chosen)
{
    for (const QString &name : names) {
        const ParameterDescription *parameter = findParameter(description, name);
        if (!parameter)
            return Failure{ExitStatus::BadUsage, QString("The device has no parameter \"%1\".").arg(name)};
        const int index = int(parameter - description.parameters.constData());
        if (!chosen->contains(index))
            *chosen << index;
    }
    return std::nullopt;
}

// Marks only the cells of the chosen parameters and of those whose values
// decide whether they are enabled.
void markChosenCells(DeviceConnection &connection, const QVector<int> &chosen)
{
    const DeviceDescription &description = connection.description();
    DeviceDescription needed;
    for (int index : chosen) {
        const ParameterDescription &parameter = description.parameters.at(index);
        needed.parameters << parameter;
        for (const ParameterDescription &source : description.parameters)
            if (parameterdependency::dependsOn(parameter.depcell, source.cell))
                needed.parameters << source;
    }
    DeviceImage &image = connection.image();
    image.clearCells();
    describing::markUsedCells(needed, image);
}

}  // namespace

ExitStatus ports(DeviceConnection &connection, Report &report)
{
    const QVector<PortRecord> available = listPorts();
    if (available.isEmpty())
        report.note(QStringLiteral("No serial ports."));
    for (const PortRecord &port : available) {
        const EchoResult echo = connection.session().echoTest(port.name);
        QJsonObject entry{{"name", port.name}, {"path", port.systemLocation}};
        QString result;
        if (echo.open == OpenOutcome::Opened) {
            result = echo.echoed ? QStringLiteral("echoes: the cable") : QStringLiteral("opens, no echo");
            entry.insert("echo", echo.echoed);
        } else {
            result = "does not open: " + connection.openFailureReason(port.name);
            entry.insert("problem", result);
        }
        portwording::insertUsbFacts(entry, port.usb);
        const QString usb = portwording::usbText(port.usb);
        if (!usb.isEmpty())
            result += QString("  (%1)").arg(usb);
        report.entry("ports", entry, QString("%1  %2").arg(port.name, result));
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

ExitStatus read(DeviceConnection &connection, Report &report, const QStringList &names)
{
    QVector<int> chosen;
    if (std::optional<Failure> failure = chooseParameters(connection.description(), names, &chosen))
        return report.fail(*failure);
    if (!chosen.isEmpty())
        markChosenCells(connection, chosen);
    if (std::optional<Failure> failure = connection.readValues())
        return report.fail(*failure);
    const QVector<ParameterValue> all = connection.values();
    QVector<ParameterValue> values;
    if (chosen.isEmpty())
        values = all;
    for (int index : chosen)
        values << all.at(index);
    int nameWidth = 0;
    for (const ParameterValue &value : values)
        nameWidth = std::max(nameWidth, int(value.name.size()));
    for (const ParameterValue &value : values) {
        const QJsonObject entry{{"name", value.name},         {"shown", value.shown},
                                {"raw", qint64(value.raw)},   {"cells", cellsJson(value)},
                                {"disabled", value.disabled}, {"allowed", value.outside == valuetext::Refusal::None}};
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
