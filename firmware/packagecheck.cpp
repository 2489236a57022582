#include "firmware/packagecheck.h"

#include "firmware/firmwarepackage.h"
#include "link/untrustedini.h"

#include <QBuffer>

#include <algorithm>

namespace {

constexpr Dialect LongestRecordFirst[] = {Dialect::Vorn, Dialect::Ulma, Dialect::Kelpa};

// The line (from 1) that holds the byte at `offset`.
qint64 lineAt(const QByteArray &bytes, qint64 offset)
{
    return std::count(bytes.constData(), bytes.constData() + std::min<qint64>(offset, bytes.size()), '\n') + 1;
}

// The length of the first data line as the image reader counts it: a CR LF
// line end counts as one character, as an LF alone does. Empty lines are skipped.
int firstDataLineLength(const QByteArray &bytes, qint64 offset)
{
    for (qint64 at = offset; at < bytes.size();) {
        const qint64 lineFeed = bytes.indexOf('\n', int(at));
        const qint64 end = lineFeed < 0 ? bytes.size() : lineFeed;
        const qint64 content = end - at - (end > at && lineFeed >= 0 && bytes.at(int(end - 1)) == '\r' ? 1 : 0);
        if (content > 0)
            return int(content) + (lineFeed >= 0 ? 1 : 0);
        at = end + 1;
    }
    return 0;
}

Dialect dialectForLine(int length)
{
    for (Dialect dialect : LongestRecordFirst)
        if (lineRecordDigits(dialect) + lineTrailerLength(dialect) <= length)
            return dialect;
    return Dialect::Kelpa;
}

PackageFault::Kind imageProblemKind(ImageProblem problem)
{
    switch (problem) {
    case ImageProblem::TooLarge: return PackageFault::TooLarge;
    case ImageProblem::NotHexadecimal: return PackageFault::NotHexadecimal;
    case ImageProblem::StrayCarriageReturn: return PackageFault::StrayCarriageReturn;
    case ImageProblem::WrongLineSum: return PackageFault::WrongLineSum;
    case ImageProblem::ShortLine:
    case ImageProblem::None: break;
    }
    return PackageFault::ShortLine;
}

// What the keys of a "Device" group say otherwise than their author meant.
void checkKeys(const QByteArray &head, PackageInspection &inspection)
{
    const PackageKeys &keys = inspection.keys;
    QVector<PackageFault> &problems = inspection.problems;
    const QVector<IniKeyLine> lines = iniKeyLines(head, QStringLiteral("Device"));
    const QMap<QString, QString> group = iniGroup(head, QStringLiteral("Device"), IniEncoding::Windows1251);
    const auto lastLine = [&lines](const QString &key) {
        qint64 line = 0;
        for (const IniKeyLine &given : lines)
            if (given.key == key)
                line = given.line;
        return line;
    };
    for (int i = 0; i < lines.size(); ++i)
        for (int before = 0; before < i; ++before)
            if (lines.at(before).key == lines.at(i).key) {
                problems << PackageFault{PackageFault::RepeatedKey, lines.at(i).line, lines.at(i).key, QString(),
                                         lines.at(before).line};
                break;
            }
    const qint64 groupLine = lines.isEmpty() ? 1 : lines.first().line - 1;
    inspection.hardwareLine = lastLine(QStringLiteral("HW"));
    for (const char *key : {"ID", "HW", "BL"}) {
        const QString name = QLatin1String(key);
        bool number = false;
        group.value(name).toUInt(&number, 10);
        if (!group.contains(name))
            problems << PackageFault{PackageFault::MissingKey, groupLine, name, QString()};
        else if (!number)
            problems << PackageFault{PackageFault::KeyNotANumber, lastLine(name), name, group.value(name)};
    }
    if (!group.contains(QStringLiteral("FW")))
        problems << PackageFault{PackageFault::MissingVersion, groupLine, QStringLiteral("FW"), QString()};
    else if (!parseFirmwareVersion(keys.version))
        problems << PackageFault{PackageFault::NotAVersion, lastLine(QStringLiteral("FW")), QStringLiteral("FW"),
                                 keys.version};
}

PackageInspection inspect(const QByteArray &bytes, bool readImage)
{
    PackageInspection inspection;
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    const UntrustedIni head = readUntrustedIni(buffer, "[Firmware]");
    switch (head.refusal) {
    case IniRefusal::None:
        inspection.headAccepted = true;
        inspection.keys = packageKeysOf(head.text);
        if (!inspection.keys.hasDeviceGroup)
            inspection.problems << PackageFault{PackageFault::NoDeviceGroup, 1};
        else
            checkKeys(head.text, inspection);
        break;
    case IniRefusal::TooLarge:
        inspection.problems << PackageFault{PackageFault::HeadTooLarge, lineAt(bytes, MaxIniBytes)};
        break;
    case IniRefusal::CannotRead: break;  // a buffer always reads
    }

    if (bytes.size() > MaxPackageBytes) {
        inspection.problems << PackageFault{PackageFault::TooLarge, 1};
        return inspection;
    }
    // The heading is found alike in every dialect.
    const DataPart part = findDataPart(bytes);
    inspection.dataPartLine = part.line;
    if (part.offset < 0) {
        inspection.nearMissLine = part.nearMissLine;
        inspection.nearMissText = part.nearMissText;
        inspection.problems << PackageFault{PackageFault::NoDataPart, part.nearMissLine > 0 ? part.nearMissLine : 1};
        return inspection;
    }
    if (!readImage)
        return inspection;
    inspection.dialect = dialectForLine(firstDataLineLength(bytes, part.offset));
    ImageReading reading = readFirmwareImage(bytes, part, inspection.dialect);
    if (reading.damaged())
        inspection.problems << PackageFault{imageProblemKind(reading.problem), reading.line};
    else if (reading.image.isEmpty())
        inspection.problems << PackageFault{PackageFault::NoDataLines, inspection.dataPartLine};
    inspection.image = std::move(reading.image);
    return inspection;
}

}  // namespace

PackageInspection inspectPackage(const QByteArray &bytes)
{
    return inspect(bytes, true);
}

PackageInspection inspectPackageHead(const QByteArray &bytes)
{
    return inspect(bytes, false);
}

bool packageFitsModel(const PackageKeys &keys, int deviceId, int hwVersion)
{
    return deviceId >= 0 && hwVersion >= 0 && keys.deviceId == quint32(deviceId)
           && keys.hwVersion == quint32(hwVersion);
}
