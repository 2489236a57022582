#include "firmware/packagecheck.h"

#include "link/untrustedini.h"

#include <QBuffer>
#include <QList>

namespace {

constexpr Dialect LongestRecordFirst[] = {Dialect::Vorn, Dialect::Ulma, Dialect::Kelpa};

// The line (from 1) that holds the byte at `offset`.
qint64 lineAt(const QByteArray &bytes, qint64 offset)
{
    return bytes.left(int(offset)).count('\n') + 1;
}

// The length of the first data line as the image reader counts it: a CR LF
// line end counts as one character, as an LF alone does.
int firstDataLineLength(const QList<QByteArray> &lines, qint64 dataPartLine)
{
    for (int i = int(dataPartLine); i < lines.size(); ++i) {
        QByteArray line = lines.at(i);
        if (line.endsWith('\r'))
            line.chop(1);
        if (!line.isEmpty())
            return line.size() + (i + 1 < lines.size() ? 1 : 0);
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

}  // namespace

PackageInspection inspectPackage(const QByteArray &bytes)
{
    PackageInspection inspection;
    const QList<QByteArray> lines = bytes.split('\n');

    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    const UntrustedIni head = readUntrustedIni(buffer, "[Firmware]");
    switch (head.refusal) {
    case IniRefusal::None:
        inspection.headAccepted = true;
        inspection.keys = packageKeysOf(head.text);
        if (!inspection.keys.hasDeviceGroup)
            inspection.problems << PackageFault{PackageFault::NoDeviceGroup, 1};
        break;
    case IniRefusal::TooLarge:
        inspection.problems << PackageFault{PackageFault::HeadTooLarge, lineAt(bytes, MaxIniBytes)};
        break;
    case IniRefusal::CannotRead: break;  // a buffer always reads
    }

    // The heading is found alike in every dialect.
    const ImageReading first = readFirmwareImage(bytes, Dialect::Kelpa);
    inspection.dataPartLine = first.dataPartLine;
    if (first.problem == ImageProblem::TooLarge) {
        inspection.problems << PackageFault{PackageFault::TooLarge, 1};
        return inspection;
    }
    if (inspection.dataPartLine == 0) {
        inspection.problems << PackageFault{PackageFault::NoDataPart, 1};
        return inspection;
    }
    inspection.dialect = dialectForLine(firstDataLineLength(lines, inspection.dataPartLine));
    const ImageReading reading =
        inspection.dialect == Dialect::Kelpa ? first : readFirmwareImage(bytes, inspection.dialect);
    if (reading.damaged())
        inspection.problems << PackageFault{imageProblemKind(reading.problem), reading.line};
    else if (reading.image.isEmpty())
        inspection.problems << PackageFault{PackageFault::NoDataLines, inspection.dataPartLine};
    inspection.image = reading.image;
    return inspection;
}

bool packageFitsModel(const PackageKeys &keys, int deviceId, int hwVersion)
{
    return deviceId >= 0 && hwVersion >= 0 && keys.deviceId == quint32(deviceId)
           && keys.hwVersion == quint32(hwVersion);
}
