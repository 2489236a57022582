// check: description files and firmware packages, without a device.
#include "commands.h"
#include "report.h"

#include "firmware/firmwareimage.h"
#include "firmware/packagecheck.h"
#include "link/untrustedini.h"
#include "description/datafolders.h"
#include "description/descriptioncheck.h"
#include "description/descriptionreader.h"
#include "description/valuetext.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QLocale>
#include <QTextStream>

#include <algorithm>

namespace commands {

namespace {

const QString StandardInput = QStringLiteral("-");

// A file as the command line or its neighbourhood gives it.
struct SourceFile {
    QString path;
    QString shown;  // in messages
    bool isPackage = false;
    QByteArray bytes;
    QString error;  // why it could not be read; empty when it was
};

// A device entry of a description, for the packages held against it.
struct KnownEntry {
    DeviceDescription device;
    QString file;
};

struct KnownPackage {
    PackageKeys keys;
    QString file;
};

struct Finding {
    Finding(qint64 line, const QString &message, bool problem = true)
        : line(line), message(message), problem(problem)
    {
    }

    qint64 line;  // 0: the whole file
    QString message;
    bool problem;  // else a note
};

QString entryName(const DeviceDescription &device)
{
    return QString("\"%1\" (identifier %2, hardware %3, firmware %4.%5)")
        .arg(device.name)
        .arg(device.identity.id)
        .arg(device.identity.hw)
        .arg(device.identity.fw)
        .arg(device.identity.fwm);
}

QString dialectText(Dialect dialect)
{
    switch (dialect) {
    case Dialect::Kelpa: return QStringLiteral("Kelpa");
    case Dialect::Ulma: return QStringLiteral("Ulma");
    case Dialect::Vorn: break;
    }
    return QStringLiteral("Vorn");
}

QString number(double value, int decimals)
{
    return QLocale::c().toString(value, 'f', decimals);
}

// ---- reading

QByteArray readBounded(const QString &path, qint64 most, QString *error)
{
    const QString name = path == StandardInput ? QStringLiteral("/dev/stdin") : path;
    if (QFileInfo(name).isDir()) {
        *error = QStringLiteral("it is a folder");
        return {};
    }
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return {};
    }
    // The size a file claims is not trusted: read one byte beyond the bound.
    QByteArray bytes;
    while (bytes.size() < most) {
        const QByteArray more = file.read(most - bytes.size());
        if (more.isEmpty())
            break;
        bytes += more;
    }
    return bytes;
}

bool looksLikeXml(const QByteArray &bytes)
{
    QByteArray head = bytes.left(4096);
    if (head.startsWith("\xEF\xBB\xBF"))
        head = head.mid(3);
    return head.trimmed().startsWith('<');
}

SourceFile readSource(const QString &path)
{
    SourceFile source;
    source.path = path;
    source.shown = path == StandardInput ? QStringLiteral("<stdin>") : path;
    const QString suffix = QFileInfo(path).suffix().toLower();
    // Read enough to tell a package that is too large from one that is not.
    source.bytes = readBounded(path, std::max(MaxPackageBytes, descriptionreader::MaxFileBytes) + 1, &source.error);
    source.isPackage = suffix == "upd" || (suffix != "dsc" && !looksLikeXml(source.bytes));
    return source;
}

// Descriptions and packages beside a file: in its folder and the folder's
// firmwares/, and for a file in a firmwares/ folder the tellur.dsc above it.
QStringList neighbours(const QString &path)
{
    if (path == StandardInput)
        return {};
    const QDir folder = QFileInfo(path).absoluteDir();
    QStringList found;
    for (const QDir &dir : {folder, QDir(folder.filePath("firmwares"))})
        for (const QString &name : dir.entryList({"*.dsc", "*.upd"}, QDir::Files, QDir::Name))
            found << dir.filePath(name);
    if (folder.dirName() == "firmwares" && QFileInfo(folder.filePath("../tellur.dsc")).isFile())
        found << QDir::cleanPath(folder.filePath("../tellur.dsc"));
    // Named in messages as the user would name them from here.
    for (QString &file : found) {
        const QString relative = QDir::current().relativeFilePath(file);
        if (!relative.startsWith(".."))
            file = relative;
    }
    return found;
}

QVector<DeviceDescription> descriptionsIn(const QByteArray &bytes)
{
    return descriptionreader::read(bytes);
}

// ---- wording

QString readNoteText(const descriptionreader::ReadNote &note)
{
    using descriptionreader::ReadNote;
    switch (note.kind) {
    case ReadNote::Refused:
        return QString("the reader refuses the whole file: %1").arg(descriptionreader::refusalName(note.refusal));
    case ReadNote::MalformedXml:
        return QString("not well-formed XML: %1; nothing after it is read").arg(note.text);
    case ReadNote::UnknownType:
        return QString("a parameter of type \"%1\" builds nothing (list, range or check)").arg(note.text);
    case ReadNote::CellWithoutSlot:
        return QString("parameter \"%1\" names a cell outside 0 to 254 and gets no row").arg(note.text);
    case ReadNote::TooManyParameters:
        return QString("parameter \"%1\" is beyond the %2th: it and the rest get no row")
            .arg(note.text)
            .arg(descriptionreader::MaxParameters);
    case ReadNote::TooManyEntries:
        return QString("list \"%1\" has more than %2 entries: the rest are left out")
            .arg(note.text)
            .arg(descriptionreader::MaxListEntries);
    case ReadNote::OutsideList: break;
    }
    if (note.listEnd > 0)
        return QString("parameter \"%1\" gets no row: its device's parameter list ended at line %2 (%3)")
            .arg(note.text)
            .arg(note.listEnd)
            .arg(note.element);
    return QString("parameter \"%1\" lies outside any device entry and gets no row").arg(note.text);
}

Finding checkFinding(const QVector<DeviceDescription> &devices, const descriptioncheck::Finding &finding)
{
    using descriptioncheck::Problem;
    const DeviceDescription &device = devices.at(finding.device);
    if (finding.parameter < 0) {
        if (finding.problem == Problem::ShadowedDevice)
            return {device.line, QString("device entry %1 is never used: the entry at line %2 has the same "
                                         "identity and comes first")
                                     .arg(entryName(device))
                                     .arg(devices.at(finding.other).line)};
        return {device.line, QString("fwnp %1 is kept in one byte, as %2 blocks")
                                 .arg(finding.raw)
                                 .arg(finding.raw & finding.most)};
    }
    const ParameterDescription &parameter = device.parameters.at(finding.parameter);
    const QString name = parameter.name;
    const int decimals = valuetext::rangeBounds(parameter).decimals;
    switch (finding.problem) {
    case Problem::SharedCell: {
        const ParameterDescription &other = device.parameters.at(finding.other);
        return {parameter.line, QString("parameter \"%1\" writes cell %2, which \"%3\" (line %4) writes too")
                                    .arg(name)
                                    .arg(finding.cell)
                                    .arg(other.name)
                                    .arg(other.line)};
    }
    case Problem::SharedName:
        return {parameter.line, QString("parameter \"%1\" has the name of the one at line %2: set and read "
                                        "reach only that one, settings files tell the two apart by their cells")
                                    .arg(name)
                                    .arg(device.parameters.at(finding.other).line)};
    case Problem::HighCellIsLowCell:
        return {parameter.line,
                QString("parameter \"%1\" has its high byte in its low byte's cell %2").arg(name).arg(finding.cell)};
    case Problem::RangeBeyondCells:
        return {parameter.line, QString("range \"%1\": %2 is stored as raw %3, beyond 0 to %4 that its cells hold")
                                    .arg(name, number(finding.value, decimals))
                                    .arg(finding.raw)
                                    .arg(finding.most)};
    case Problem::RangeOffScale:
        return {parameter.line, QString("range \"%1\": %2 is stored as raw %3, which reads back as %4")
                                    .arg(name, number(finding.value, decimals))
                                    .arg(finding.raw)
                                    .arg(QLocale::c().toString(finding.readBack, 'g', 12))};
    case Problem::ListBeyondCells:
        return {parameter.line, QString("list \"%1\" has more entries than its cells can count: entry %2 (\"%3\") "
                                        "is stored as raw %4, beyond 0 to %5")
                                    .arg(name)
                                    .arg(finding.entry)
                                    .arg(parameter.entries.value(finding.entry))
                                    .arg(finding.raw)
                                    .arg(finding.most)};
    case Problem::DependencyWithoutSource:
        return {parameter.line,
                QString("parameter \"%1\" depends on cell %2, which no list or range of its device entry holds")
                    .arg(name)
                    .arg(finding.cell)};
    case Problem::ShadowedDevice:
    case Problem::PageCountTruncated: break;
    }
    return {parameter.line, QString("parameter \"%1\" is faulty").arg(name)};
}

// ---- checking

class Checker
{
public:
    Checker(Report &report, const QStringList &paths) : report(report)
    {
        for (const QString &path : paths)
            sources << readSource(path);
        QStringList given;
        for (const SourceFile &source : sources) {
            given << canonical(source.path);
            learn(source);
        }
        for (const SourceFile &source : sources)
            for (const QString &path : neighbours(source.path))
                if (!given.contains(canonical(path)) && !learned.contains(canonical(path)))
                    learn(readSource(path));
    }

    ExitStatus run()
    {
        int filesWithProblems = 0;
        int problems = 0;
        for (const SourceFile &source : sources) {
            QVector<Finding> findings = source.error.isEmpty() ? (source.isPackage ? checkPackage(source)
                                                                                   : checkDescription(source))
                                                               : QVector<Finding>{{0, "cannot be read: " + source.error}};
            std::stable_sort(findings.begin(), findings.end(),
                             [](const Finding &a, const Finding &b) { return a.line < b.line; });
            const int count = int(std::count_if(findings.begin(), findings.end(),
                                                [](const Finding &finding) { return finding.problem; }));
            problems += count;
            filesWithProblems += count > 0 ? 1 : 0;
            for (const Finding &finding : findings)
                show(source, finding);
        }
        report.field("files", int(sources.size()), "Files checked");
        report.note(QString("Problems: %1").arg(problems));
        if (problems == 0)
            return ExitStatus::Done;
        return report.fail({ExitStatus::BadUsage, QString("%1 %2 in %3 of %4 files.")
                                                      .arg(problems)
                                                      .arg(problems == 1 ? "problem" : "problems")
                                                      .arg(filesWithProblems)
                                                      .arg(sources.size())});
    }

private:
    static QString canonical(const QString &path)
    {
        const QString resolved = QFileInfo(path).canonicalFilePath();
        return resolved.isEmpty() ? path : resolved;
    }

    // What a file tells about the others: its device entries, or its keys.
    void learn(const SourceFile &source)
    {
        learned << canonical(source.path);
        if (!source.error.isEmpty())
            return;
        if (!source.isPackage) {
            for (const DeviceDescription &device : descriptionsIn(source.bytes))
                entries << KnownEntry{device, source.shown};
            return;
        }
        const PackageInspection inspection = inspectPackage(source.bytes);
        if (inspection.headAccepted && inspection.keys.hasDeviceGroup)
            packages << KnownPackage{inspection.keys, source.shown};
    }

    void show(const SourceFile &source, const Finding &finding)
    {
        const QString where = finding.line > 0 ? QString("%1:%2").arg(source.shown).arg(finding.line) : source.shown;
        const QJsonObject entry{{"file", source.shown}, {"line", finding.line}, {"message", finding.message}};
        if (finding.problem)
            report.entry("problems", entry, QString("%1: %2").arg(where, finding.message));
        else
            report.entry("notes", entry, QString("%1: note: %2").arg(where, finding.message));
    }

    QVector<Finding> checkDescription(const SourceFile &source) const
    {
        QVector<descriptionreader::ReadNote> notes;
        const QVector<DeviceDescription> devices = descriptionreader::read(source.bytes, std::nullopt, nullptr, &notes);
        QVector<Finding> findings;
        for (const descriptionreader::ReadNote &note : notes)
            findings << Finding{note.line, readNoteText(note)};
        for (const descriptioncheck::Finding &finding : descriptioncheck::check(devices))
            findings << checkFinding(devices, finding);
        for (const DeviceDescription &device : devices) {
            if (device.pageSize > 0 && device.pageCount > 0)
                continue;
            QStringList fitting;
            for (const KnownPackage &package : packages)
                if (packageFitsModel(package.keys, device.identity.id, device.identity.hw))
                    fitting << package.file;
            if (!fitting.isEmpty())
                findings << Finding{device.line, QString("device entry %1 has no %2, but packages for it lie "
                                                         "beside it (%3): they cannot be installed")
                                                     .arg(entryName(device),
                                                          device.pageSize == 0 ? "fwps" : "fwnp",
                                                          fitting.join(", "))};
        }
        return findings;
    }

    QVector<Finding> checkPackage(const SourceFile &source) const
    {
        const PackageInspection inspection = inspectPackage(source.bytes);
        QVector<Finding> findings;
        for (const PackageFault &problem : inspection.problems)
            findings << Finding{problem.line, packageFaultText(problem, inspection.dialect)};
        if (!inspection.headAccepted || !inspection.keys.hasDeviceGroup)
            return findings;
        const bool imageRead = !inspection.image.isEmpty();
        const qint64 line = inspection.dataPartLine > 0 ? inspection.dataPartLine : 1;
        int fitting = 0;
        for (const KnownEntry &entry : entries) {
            const DeviceDescription &device = entry.device;
            if (!packageFitsModel(inspection.keys, device.identity.id, device.identity.hw))
                continue;
            ++fitting;
            const QString where = QString("\"%1\" firmware %2.%3 (%4:%5)")
                                      .arg(device.name)
                                      .arg(device.identity.fw)
                                      .arg(device.identity.fwm)
                                      .arg(entry.file)
                                      .arg(device.line);
            if (!imageRead)
                continue;
            const quint32 size = device.pageSize;
            const quint8 count = quint8(device.pageCount);
            if (imageFits(inspection.image.size(), size, count))
                findings << Finding{line, QString("fits %1: %2 blocks of %3 bytes (%4 lines)")
                                              .arg(where)
                                              .arg(count)
                                              .arg(size)
                                              .arg(dialectText(inspection.dialect)),
                                    false};
            else
                findings << Finding{line, QString("its image of %1 bytes (%2 lines) is not %3 blocks of %4 bytes, "
                                                  "as %5 has them")
                                              .arg(inspection.image.size())
                                              .arg(dialectText(inspection.dialect))
                                              .arg(count)
                                              .arg(size)
                                              .arg(where)};
        }
        if (fitting == 0)
            findings << Finding{1,
                                entries.isEmpty()
                                    ? QStringLiteral("no description entry to hold it against")
                                    : QString("fits none of the %1 description entries checked (it is for identifier "
                                              "%2, hardware %3)")
                                          .arg(entries.size())
                                          .arg(inspection.keys.deviceId)
                                          .arg(inspection.keys.hwVersion),
                                false};
        return findings;
    }

    Report &report;
    QVector<SourceFile> sources;
    QStringList learned;
    QVector<KnownEntry> entries;
    QVector<KnownPackage> packages;
};

}  // namespace

QString packageFaultText(const PackageFault &problem, Dialect dialect)
{
    switch (problem.kind) {
    case PackageFault::HeadTooLarge:
        return QString("the part before [Firmware] is larger than %1 KiB: the package is left out")
            .arg(MaxIniBytes / 1024);
    case PackageFault::NoDeviceGroup:
        return QStringLiteral("no [Device] group with keys: not a firmware package");
    case PackageFault::NoDataPart:
        return QStringLiteral("no line [Firmware]: not a firmware package");
    case PackageFault::TooLarge:
        return QString("larger than %1 MiB: the package is not read").arg(MaxPackageBytes / (1024 * 1024));
    case PackageFault::NotHexadecimal:
        return QString("the line record (%1 digits, %2 lines) holds a character that is not a hexadecimal digit")
            .arg(lineRecordDigits(dialect))
            .arg(dialectText(dialect));
    case PackageFault::ShortLine:
        return QString("shorter than the line record of %1 digits and its trailer of %2 (%3 lines)")
            .arg(lineRecordDigits(dialect))
            .arg(lineTrailerLength(dialect))
            .arg(dialectText(dialect));
    case PackageFault::StrayCarriageReturn:
        return QStringLiteral("holds a carriage return that is not right before its line feed");
    case PackageFault::WrongLineSum:
        return QString("the trailer does not begin with the sum of the line record's bytes, as the first data line's "
                       "does (%1 lines)")
            .arg(dialectText(dialect));
    case PackageFault::NoDataLines: break;
    }
    return QStringLiteral("the data part holds no data line");
}

ExitStatus check(Report &report, const QStringList &paths)
{
    return Checker(report, paths).run();
}

ExitStatus parameterNames(QTextStream &out, const QString &description)
{
    QStringList files{description};
    if (description.isEmpty()) {
        const datafolders::DescriptionPlace place = datafolders::descriptionPlace();
        files = QStringList{place.primaryFile};
        for (const QString &name : QDir(place.folder).entryList({"*.dsc"}, QDir::Files, QDir::Reversed))
            files << place.folder + '/' + name;
    }
    QStringList names;
    for (const QString &file : files) {
        QString error;
        const QByteArray bytes = readBounded(file, descriptionreader::MaxFileBytes + 1, &error);
        for (const DeviceDescription &device : descriptionsIn(bytes))
            for (const ParameterDescription &parameter : device.parameters)
                if (!names.contains(parameter.name))
                    names << parameter.name;
    }
    for (const QString &name : names)
        out << name << '\n';
    out.flush();
    return ExitStatus::Done;
}

}  // namespace commands
