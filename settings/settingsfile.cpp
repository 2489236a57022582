#include "settings/settingsfile.h"

#include "settings/parametervalue.h"

#include "link/regularfile.h"
#include "texts/devicetexts.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <algorithm>
#include <cmath>

namespace {

// A settings file is four levels deep. The toolkit's JSON reader recurses
// once a level and, in Qt 5.15, loses memory on a repeated key: deeper
// texts are refused before it, which keeps its stack short enough for the
// leak checker to name it (scripts/fuzz.sh).
constexpr int MostNesting = 32;

// The offset just past the bracket that opens a level beyond MostNesting, or -1.
int tooDeepAt(const QByteArray &json)
{
    int depth = 0;
    bool inString = false;
    for (int at = 0; at < json.size(); ++at) {
        const char c = json.at(at);
        if (inString) {
            if (c == '\\')
                ++at;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if ((c == '{' || c == '[') && ++depth > MostNesting) {
            return at + 1;
        } else if (c == '}' || c == ']') {
            --depth;
        }
    }
    return -1;
}

QJsonObject identityJson(const SettingsIdentity &device)
{
    return {{"name", device.name},
            {"id", device.identity.deviceId},
            {"hardware", device.identity.hwVersion},
            {"bootloader", device.identity.blVersion},
            {"firmwareMajor", device.identity.fwMajor},
            {"firmwareMinor", device.identity.fwMinor},
            {"firmwareBuild", device.identity.fwBuild}};
}

// A whole number from `least` to `most`, or false.
bool readInteger(const QJsonValue &value, qint64 least, qint64 most, qint64 *number)
{
    if (!value.isDouble())
        return false;
    const double real = value.toDouble();
    // Converting a double beyond the integer's range is undefined: bounds first.
    if (!(real >= double(least) && real <= double(most)) || real != std::trunc(real))
        return false;
    *number = qint64(real);
    return true;
}

bool readByte(const QJsonObject &object, const QString &key, quint8 *field)
{
    qint64 number = 0;
    if (!readInteger(object.value(key), 0, 255, &number))
        return false;
    *field = quint8(number);
    return true;
}

QString readIdentity(const QJsonObject &object, SettingsIdentity *device)
{
    if (!object.value("name").isString())
        return QStringLiteral("the device has no name");
    device->name = object.value("name").toString();
    DeviceIdentity &identity = device->identity;
    const std::pair<const char *, quint8 *> fields[] = {
        {"id", &identity.deviceId},           {"hardware", &identity.hwVersion},
        {"bootloader", &identity.blVersion},  {"firmwareMajor", &identity.fwMajor},
        {"firmwareMinor", &identity.fwMinor}, {"firmwareBuild", &identity.fwBuild}};
    for (const auto &field : fields)
        if (!readByte(object, field.first, field.second))
            return QString("the device's \"%1\" is not a number from 0 to 255").arg(field.first);
    return QString();
}

// What the JSON reader missed, as a person would look for it.
QString expectation(QJsonParseError::ParseError error)
{
    switch (error) {
    case QJsonParseError::UnterminatedObject: return QStringLiteral("expected ',' or '}'");
    case QJsonParseError::MissingNameSeparator: return QStringLiteral("expected ':' after a name");
    case QJsonParseError::UnterminatedArray: return QStringLiteral("expected ',' or ']'");
    case QJsonParseError::MissingValueSeparator: return QStringLiteral("expected ','");
    case QJsonParseError::IllegalValue: return QStringLiteral("expected a value");
    case QJsonParseError::TerminationByNumber: return QStringLiteral("the text ends within a number");
    case QJsonParseError::IllegalNumber: return QStringLiteral("expected a number");
    case QJsonParseError::IllegalEscapeSequence: return QStringLiteral("expected an escape sequence");
    case QJsonParseError::IllegalUTF8String: return QStringLiteral("expected UTF-8 text");
    case QJsonParseError::UnterminatedString: return QStringLiteral("expected '\"' to end a string");
    case QJsonParseError::MissingObject: return QStringLiteral("expected an object after ','");
    case QJsonParseError::DeepNesting: return QStringLiteral("nested too deeply");
    case QJsonParseError::DocumentTooLarge: return QStringLiteral("too large");
    case QJsonParseError::GarbageAtEnd: return QStringLiteral("expected nothing after the document");
    case QJsonParseError::NoError: break;
    }
    return QStringLiteral("not JSON");
}

// Line and column (from 1, in characters) of the character the JSON reader
// stopped at: its offset lies just past it, or at the end of the text.
QString position(const QByteArray &text, int offset)
{
    const QByteArray before = text.left(offset < text.size() ? std::max(offset - 1, 0) : offset);
    const int lineStart = before.lastIndexOf('\n') + 1;
    return QString("line %1, column %2")
        .arg(before.count('\n') + 1)
        .arg(QString::fromUtf8(before.mid(lineStart)).size() + 1);
}

QString readParameter(const QJsonValue &value, SavedParameter *parameter)
{
    const QJsonObject object = value.toObject();
    if (!value.isObject() || !object.value("name").isString())
        return QStringLiteral("a parameter has no name");
    parameter->name = object.value("name").toString();
    const QJsonArray cells = object.value("cells").toArray();
    if (cells.isEmpty() || cells.size() > 2)
        return QString("parameter \"%1\" does not have one or two cells").arg(parameter->name);
    for (const QJsonValue &cell : cells) {
        qint64 number = 0;
        if (!readInteger(cell, 0, 254, &number))
            return QString("parameter \"%1\" names a cell outside 0 to 254").arg(parameter->name);
        parameter->cells << int(number);
    }
    qint64 raw = 0;
    const qint64 mostRaw = cells.size() == 2 ? 0xFFFF : 0xFF;
    if (!readInteger(object.value("raw"), 0, mostRaw, &raw))
        return QString("the raw value of \"%1\" does not fit its cells").arg(parameter->name);
    parameter->raw = quint32(raw);
    parameter->shown = object.value("shown").toString();
    // Files of earlier releases lack the key: docs/compatibility.md
    const QJsonValue allowed = object.value("allowed");
    if (!allowed.isUndefined() && !allowed.isBool())
        return QString("\"allowed\" of \"%1\" is neither true nor false").arg(parameter->name);
    parameter->allowed = allowed.toBool(true);
    return QString();
}

}  // namespace

QString SettingsIdentity::firmwareText() const
{
    return devicetexts::firmware(identity);
}

SettingsFile SettingsFile::of(const SettingsIdentity &device, const QVector<ParameterValue> &values)
{
    SettingsFile file;
    file.device = device;
    for (const ParameterValue &value : values) {
        file.parameters << SavedParameter{value.name, value.cells(), value.raw, value.shown,
                                          value.outside == valuetext::Refusal::None};
    }
    return file;
}

namespace settingsfile {

const QString FormatName = QStringLiteral("kova-settings");

QJsonArray parametersJson(const QVector<SavedParameter> &parameters)
{
    QJsonArray listed;
    for (const SavedParameter &parameter : parameters) {
        QJsonArray cells;
        for (int cell : parameter.cells)
            cells << cell;
        listed << QJsonObject{{"name", parameter.name},
                              {"cells", cells},
                              {"raw", qint64(parameter.raw)},
                              {"shown", parameter.shown},
                              {"allowed", parameter.allowed}};
    }
    return listed;
}

QByteArray toJson(const SettingsFile &file)
{
    const QJsonObject root{{"format", FormatName},
                           {"version", FormatVersion},
                           {"device", identityJson(file.device)},
                           {"parameters", parametersJson(file.parameters)}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

Parsed fromJson(const QByteArray &json)
{
    Parsed parsed;
    if (const int at = tooDeepAt(json); at >= 0) {
        parsed.error = QString("it is nested more than %1 levels deep at %2").arg(MostNesting).arg(position(json, at));
        return parsed;
    }
    QJsonParseError jsonError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &jsonError);
    const QJsonObject root = document.object();
    if (jsonError.error != QJsonParseError::NoError)
        parsed.error = QString("it is not valid JSON at %1: %2")
                           .arg(position(json, jsonError.offset), expectation(jsonError.error));
    else if (!document.isObject())
        parsed.error = QStringLiteral("it is not a JSON object");
    else if (root.value("format").toString() != FormatName)
        parsed.error = QString("its format is not \"%1\"").arg(FormatName);
    else if (root.value("version").toInt(-1) != FormatVersion)
        parsed.error = QString("its format version is not %1").arg(FormatVersion);
    else if (!root.value("device").isObject() || !root.value("parameters").isArray())
        parsed.error = QStringLiteral("it lacks the device or the parameters");
    else
        parsed.error = readIdentity(root.value("device").toObject(), &parsed.file.device);
    if (!parsed.ok())
        return parsed;
    for (const QJsonValue &value : root.value("parameters").toArray()) {
        SavedParameter parameter;
        parsed.error = readParameter(value, &parameter);
        const bool twice = std::any_of(parsed.file.parameters.cbegin(), parsed.file.parameters.cend(),
                                       [&parameter](const SavedParameter &other) {
                                           return other.name == parameter.name && other.cells == parameter.cells;
                                       });
        if (parsed.ok() && twice)
            parsed.error = QString("parameter \"%1\" appears twice").arg(parameter.name);
        if (!parsed.ok())
            return parsed;
        parsed.file.parameters << parameter;
    }
    return parsed;
}

bool write(const QString &path, const SettingsFile &file, QString *error)
{
    QSaveFile out(path);
    if (out.open(QIODevice::WriteOnly) && out.write(toJson(file)) >= 0 && out.commit())
        return true;
    *error = out.errorString();
    return false;
}

Parsed read(const QString &path)
{
    Parsed parsed;
    QFile in(path);
    QString error;
    if (!openRegularFile(in, &error)) {
        parsed.error = QString("it cannot be read (%1)").arg(error);
        return parsed;
    }
    const QByteArray text = in.read(MostFileBytes + 1);
    if (in.error() != QFileDevice::NoError) {
        parsed.error = QString("it cannot be read (%1)").arg(in.errorString());
        return parsed;
    }
    return fromText(text);
}

Parsed fromText(const QByteArray &text)
{
    if (text.size() <= MostFileBytes)
        return fromJson(text);
    Parsed parsed;
    parsed.error = QStringLiteral("it is far larger than a settings file");
    return parsed;
}

Fit fitOf(const SettingsIdentity &saved, const SettingsIdentity &device)
{
    const DeviceIdentity &was = saved.identity;
    const DeviceIdentity &is = device.identity;
    if (saved.name != device.name || was.deviceId != is.deviceId || was.hwVersion != is.hwVersion)
        return Fit::OtherDevice;
    if (was.fwMajor != is.fwMajor || was.fwMinor != is.fwMinor || was.fwBuild != is.fwBuild)
        return Fit::OtherFirmware;
    return Fit::SameDevice;
}

}  // namespace settingsfile

QVector<ParameterComparison> compareSettings(const QVector<ParameterValue> &device,
                                             const QVector<SavedParameter> &saved)
{
    QVector<int> pairs(device.size(), -1);  // device index -> saved index
    QVector<bool> matched(saved.size(), false);
    const auto pair = [&](bool sameCells) {
        for (int d = 0; d < device.size(); ++d) {
            for (int s = 0; s < saved.size() && pairs.at(d) < 0; ++s) {
                const ParameterValue &value = device.at(d);
                if (matched.at(s) || saved.at(s).name != value.name
                    || (sameCells && saved.at(s).cells != value.cells()))
                    continue;
                matched[s] = true;
                pairs[d] = s;
            }
        }
    };
    pair(true);
    pair(false);
    QVector<ParameterComparison> comparisons;
    for (int d = 0; d < device.size(); ++d) {
        const int s = pairs.at(d);
        ParameterComparison comparison{ParameterComparison::OnlyOnDevice, device.at(d).name, d, s};
        if (s >= 0)
            comparison.state =
                saved.at(s).raw == device.at(d).raw ? ParameterComparison::Equal : ParameterComparison::Differs;
        comparisons << comparison;
    }
    for (int s = 0; s < saved.size(); ++s)
        if (!matched.at(s))
            comparisons << ParameterComparison{ParameterComparison::OnlyInFile, saved.at(s).name, -1, s};
    return comparisons;
}
