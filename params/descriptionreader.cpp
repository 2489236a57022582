#include "params/descriptionreader.h"

#include "device/deviceimage.h"
#include "params/valuecodec.h"

#include <QDebug>
#include <QXmlStreamReader>

#include <cmath>

namespace descriptionreader {

namespace {

// A number that is absent or does not read as one counts as 0, an absent
// text as the empty text.
int integer(const QXmlStreamAttributes &attributes, QLatin1String name)
{
    bool ok = false;
    const int value = attributes.value(name).toInt(&ok);
    return ok ? value : 0;
}

uint unsignedInteger(const QXmlStreamAttributes &attributes, QLatin1String name)
{
    bool ok = false;
    const uint value = attributes.value(name).toUInt(&ok);
    return ok ? value : 0;
}

// Infinities and NaN count as 0 too: they have no place in a cell value.
double real(const QXmlStreamAttributes &attributes, QLatin1String name)
{
    bool ok = false;
    const double value = attributes.value(name).toDouble(&ok);
    return ok && std::isfinite(value) ? value : 0.0;
}

QString text(const QXmlStreamAttributes &attributes, QLatin1String name)
{
    return attributes.value(name).toString();
}

ParameterKind kindOf(const QStringRef &type)
{
    if (type == QLatin1String("list"))
        return ParameterKind::List;
    if (type == QLatin1String("range"))
        return ParameterKind::Range;
    if (type == QLatin1String("check"))
        return ParameterKind::Check;
    return ParameterKind::None;
}

ParameterDescription parameterFrom(const QXmlStreamAttributes &attributes)
{
    ParameterDescription p;
    p.kind = kindOf(attributes.value(QLatin1String("type")));
    p.name = text(attributes, QLatin1String("name"));
    p.cell = integer(attributes, QLatin1String("cell"));
    p.hcell = integer(attributes, QLatin1String("hcell"));
    p.hasHighCell = !attributes.value(QLatin1String("hcell")).isEmpty();
    p.depcell = integer(attributes, QLatin1String("depcell"));
    p.depval = integer(attributes, QLatin1String("depval"));
    p.offset = real(attributes, QLatin1String("offset"));
    p.scale = valuecodec::effectiveScale(real(attributes, QLatin1String("scale")));
    p.shift = real(attributes, QLatin1String("shift"));
    p.min = real(attributes, QLatin1String("min"));
    p.max = real(attributes, QLatin1String("max"));
    p.step = real(attributes, QLatin1String("step"));
    p.decimals = unsignedInteger(attributes, QLatin1String("decimals"));
    p.suffix = text(attributes, QLatin1String("suffix"));
    return p;
}

DescriptionIdentity identityFrom(const QXmlStreamAttributes &attributes)
{
    return {integer(attributes, QLatin1String("id")), integer(attributes, QLatin1String("hw")),
            integer(attributes, QLatin1String("fw")), integer(attributes, QLatin1String("fwm"))};
}

bool cellsHaveSlots(const ParameterDescription &parameter)
{
    return hasCellSlot(parameter.cell)
           && (!parameter.usesHighCell() || hasCellSlot(parameter.hcell));
}

// Walks the tokens of one document. Where the parameter list and a list's
// entries end follows the window's long-standing reading, token by token.
class Parser
{
public:
    explicit Parser(const QByteArray &content) : xml(content) {}

    QVector<DeviceDescription> read(const std::optional<DescriptionIdentity> &wanted)
    {
        QVector<DeviceDescription> devices;
        xml.readNext();
        while (!xml.atEnd()) {
            if (isStart("ESC") && (!wanted || identityFrom(xml.attributes()) == *wanted)) {
                devices.append(readDevice());
                if (wanted)
                    break;
                if (isStart("ESC"))
                    continue;  // a nested description ended the one before
            }
            xml.readNext();
        }
        return devices;
    }

private:
    bool isStart(const char *name) const
    {
        return xml.isStartElement() && xml.name() == QLatin1String(name);
    }

    DeviceDescription readDevice()
    {
        const QXmlStreamAttributes attributes = xml.attributes();
        DeviceDescription device;
        device.identity = identityFrom(attributes);
        device.name = text(attributes, QLatin1String("name"));
        device.pageCount = unsignedInteger(attributes, QLatin1String("fwnp"));
        device.pageSize = unsignedInteger(attributes, QLatin1String("fwps"));
        readParameters(device.parameters);
        return device;
    }

    // Starts on the "ESC" start tag. The list ends at the first end tag met
    // here (normally the "ESC" end tag; each parameter consumes its own end
    // tag), at a nested "ESC", or where the document ends.
    void readParameters(QVector<ParameterDescription> &parameters)
    {
        forever {
            if (isStart("Parameter") && !readParameter(parameters))
                return;
            xml.readNext();
            if (xml.atEnd() || xml.isEndElement() || xml.name() == QLatin1String("ESC"))
                return;
        }
    }

    // False when no further parameter may be read.
    bool readParameter(QVector<ParameterDescription> &parameters)
    {
        ParameterDescription parameter = parameterFrom(xml.attributes());
        if (parameter.kind == ParameterKind::None)
            return true;
        if (parameters.size() >= MaxParameters) {
            qDebug() << "Description has more than" << MaxParameters
                     << "parameters, the rest are left out";
            return false;
        }
        // A list consumes up to its end tag; a range or check reads exactly
        // one token, the end tag of its empty element.
        if (parameter.kind == ParameterKind::List)
            parameter.entries = readListEntries();
        else
            xml.readNext();
        if (!cellsHaveSlots(parameter)) {
            qDebug() << "Parameter" << parameter.name << "skipped: cell" << parameter.cell
                     << "or hcell" << parameter.hcell << "outside 0 to" << CellCount - 1;
            return true;
        }
        parameters.append(parameter);
        return true;
    }

    // Reads up to the list's end tag, or whatever next token is named
    // "Parameter", and leaves the reader on it.
    QStringList readListEntries()
    {
        QStringList entries;
        bool overflowReported = false;
        forever {
            xml.readNext();
            if (xml.atEnd() || xml.name() == QLatin1String("Parameter"))
                return entries;
            if (!isStart("Value"))
                continue;
            if (entries.size() < MaxListEntries) {
                entries.append(text(xml.attributes(), QLatin1String("string")));
            } else if (!overflowReported) {
                qDebug() << "List has more than" << MaxListEntries
                         << "entries, the rest are left out";
                overflowReported = true;
            }
        }
    }

    QXmlStreamReader xml;
};

}  // namespace

QVector<DeviceDescription> read(const QByteArray &content,
                                const std::optional<DescriptionIdentity> &wanted)
{
    return Parser(content).read(wanted);
}

}  // namespace descriptionreader
