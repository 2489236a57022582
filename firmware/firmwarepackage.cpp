#include "firmware/firmwarepackage.h"

#include "link/regularfile.h"

#include <QFile>
#include <QRegularExpression>

PackageFile readPackageFile(const QString &path)
{
    PackageFile file;
    QFile package(path);
    if (!openRegularFile(package, &file.error)) {
        file.problem = PackageProblem::CannotRead;
        return file;
    }
    file.bytes = readBounded(package, MaxPackageBytes);
    if (file.bytes.size() > MaxPackageBytes) {
        file.bytes.clear();
        file.problem = PackageProblem::TooLarge;
    } else if (package.error() != QFileDevice::NoError) {
        file.bytes.clear();
        file.problem = PackageProblem::CannotRead;
        file.error = package.errorString();
    }
    return file;
}

CheckedPackage checkPackage(const QByteArray &package, Dialect dialect, const PackageTarget &target)
{
    CheckedPackage checked;
    const std::optional<PackageKeys> keys = readPackageKeys(package);
    if (!keys) {
        checked.problem = PackageProblem::UnusableHead;
        return checked;
    }
    checked.keys = *keys;
    if (!keys->fits(target.deviceId, target.hwVersion, target.blVersion)) {
        checked.problem = PackageProblem::OtherDevice;
        return checked;
    }
    const ImageReading reading = readFirmwareImage(package, dialect);
    if (reading.damaged()) {
        checked.problem =
            reading.problem == ImageProblem::TooLarge ? PackageProblem::TooLarge : PackageProblem::Damaged;
        checked.damage = {reading.problem, reading.line};
        return checked;
    }
    checked.image = reading.image;
    if (!imageFits(checked.image.size(), target.pageSize, target.pageCount))
        checked.problem = PackageProblem::WrongGeometry;
    return checked;
}

bool FirmwareVersion::matches(quint8 fwMajor, quint8 fwMinor, quint8 fwBuild) const
{
    return major == fwMajor && minor == fwMinor && (!build || *build == fwBuild);
}

std::optional<FirmwareVersion> parseFirmwareVersion(const QString &text)
{
    // Nine digits at most: every such number fits, and none of them is a byte anyway.
    static const QRegularExpression pattern(QStringLiteral("^([0-9]{1,9})\\.([0-9]{1,9})(?:\\.([0-9]{1,9}))?$"));
    const QRegularExpressionMatch match = pattern.match(text.trimmed());
    if (!match.hasMatch())
        return std::nullopt;
    FirmwareVersion version{match.captured(1).toUInt(), match.captured(2).toUInt(), std::nullopt};
    if (match.lastCapturedIndex() == 3)
        version.build = match.captured(3).toUInt();
    return version;
}
