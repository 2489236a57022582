// check: description files and firmware packages, without a device.
#include "commands.h"
#include "interruption.h"
#include "report.h"

#include "firmware/firmwareimage.h"
#include "firmware/packagecheck.h"
#include "link/regularfile.h"
#include "link/untrustedini.h"
#include "description/descriptioncheck.h"
#include "description/descriptionreader.h"
#include "description/valuetext.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonObject>
#include <QLocale>

#include <algorithm>

namespace commands {

namespace {

const QString StandardInput = QStringLiteral("-");

// A file as the command line or its neighbourhood gives it, read and
// inspected once.
struct SourceFile {
    QString path;
    QString shown;  // in messages
    bool isPackage = false;
    QString error;  // why it could not be read; empty when it was
    QVector<DeviceDescription> devices;
    QVector<descriptionreader::ReadNote> notes;
    PackageInspection package;
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

// A warning is what works as written but is most likely a slip; a note
// only informs.
enum class Severity { Problem, Warning, Note };

struct Finding {
    Finding(qint64 line, const QString &message, Severity severity = Severity::Problem)
        : line(line), message(message), severity(severity)
    {
    }

    qint64 line;  // 0: the whole file
    QString message;
    Severity severity;
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

// At most `most` bytes of the file a user named, or of standard input for "-".
QByteArray readNamedFile(const QString &path, qint64 most, QString *error)
{
    if (path == StandardInput)
        return interruption::readInput(most);
    if (QFileInfo(path).isDir()) {
        *error = QStringLiteral("it is a folder");
        return {};
    }
    QFile file(path);
    if (!openRegularFile(file, error))
        return {};
    return readBounded(file, most - 1);
}

bool looksLikeXml(const QByteArray &bytes)
{
    QByteArray head = bytes.left(4096);
    if (head.startsWith("\xEF\xBB\xBF"))
        head = head.mid(3);
    return head.trimmed().startsWith('<');
}

// What is read of a file: all of it to check it, or of a package beside the
// files checked only its head, whose keys tell which device it is for.
enum class Reading { Whole, PackageHead };

SourceFile readSource(const QString &path, Reading reading = Reading::Whole)
{
    SourceFile source;
    source.path = path;
    source.shown = path == StandardInput ? QStringLiteral("<stdin>") : path;
    const QString suffix = QFileInfo(path).suffix().toLower();
    // Read enough to tell a package that is too large from one that is not;
    // a head ends within MaxIniBytes and its "[Firmware]" line.
    const qint64 most = reading == Reading::PackageHead && suffix == "upd"
                            ? MaxIniBytes + 16
                            : std::max(MaxPackageBytes, descriptionreader::MaxFileBytes) + 1;
    const QByteArray bytes = readNamedFile(path, most, &source.error);
    source.isPackage = suffix == "upd" || (suffix != "dsc" && !looksLikeXml(bytes));
    if (!source.error.isEmpty())
        return source;
    if (!source.isPackage)
        source.devices = descriptionreader::read(bytes, std::nullopt, nullptr, &source.notes);
    else if (reading == Reading::Whole)
        source.package = inspectPackage(bytes);
    else
        source.package = inspectPackageHead(bytes);
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

// ---- wording

// What the program makes of an attribute it takes as 0 or empty.
QString consequence(const QString &element, const QString &attribute)
{
    static const QHash<QString, QString> device{
        {"id", "the entry fits only a device that reports identifier 0"},
        {"hw", "the entry fits only a device that reports hardware 0"},
        {"fw", "the entry fits only a device that reports firmware 0.x"},
        {"fwm", "the entry fits only a device that reports firmware x.0"},
        {"name", "the device is shown without a name"},
        {"fwnp", "0 blocks: no firmware can be installed with this entry"},
        {"fwps", "blocks of 0 bytes: no firmware can be installed with this entry"},
    };
    static const QHash<QString, QString> parameter{
        {"name", "its row has no label, and set and the settings files cannot name it"},
        {"cell", "reads and writes cell 0"},
        {"hcell", "no high byte: the value is kept in one cell"},
        {"depcell", "it depends on nothing"},
        {"depval", "taken as 0: it follows its source at 0"},
        {"offset", "taken as 0"},
        {"scale", "taken as 1"},
        {"shift", "taken as 0"},
        {"min", "its lowest value is 0"},
        {"max", "its highest value is 0"},
        {"step", "taken as 0: its arrows and keys do not move it"},
        {"decimals", "no decimals are shown"},
        {"string", "the entry is an empty text"},
    };
    return (element == "ESC" ? device : parameter).value(attribute, QStringLiteral("taken as empty"));
}

// The element a reader's note is about, as the author knows it.
QString ownerText(const descriptionreader::ReadNote &note)
{
    const QString name = note.owner.isEmpty() ? QString() : QString(" \"%1\"").arg(note.owner);
    if (note.element == "ESC")
        return "device entry" + name;
    if (note.element == "Value")
        return "an entry of list" + name;
    return name.isEmpty() ? QStringLiteral("a parameter") : "parameter" + name;
}

QString suggestion(const QString &closest)
{
    return closest.isEmpty() ? QString() : QString(" (\"%1\"?)").arg(closest);
}

QString malformedText(const descriptionreader::ReadNote &note)
{
    if (note.badByte >= 0)
        return QString("byte 0x%1 (byte %2 of the line) is no %3 character: the file is read as %3%4; if it is in "
                       "another encoding, say so in its first line, as in <?xml version=\"1.0\" "
                       "encoding=\"windows-1251\"?>; nothing after it is read")
            .arg(QString::number(note.badByte, 16).toUpper())
            .arg(note.badByteColumn)
            .arg("UTF-8", note.encoding.isEmpty() ? " (no encoding is declared)" : " (as declared)");
    if (!note.openElement.isEmpty())
        return QString("<%1> begun here is not closed: at line %2 the XML parser stops with \"%3\"; nothing "
                       "after it is read")
            .arg(note.openElement)
            .arg(note.line)
            .arg(note.text);
    return QString("not well-formed XML: %1; nothing after it is read").arg(note.text);
}

// The line a reader's note belongs to.
qint64 readNoteLine(const descriptionreader::ReadNote &note)
{
    return note.kind == descriptionreader::ReadNote::MalformedXml && !note.openElement.isEmpty() ? note.openedAt
                                                                                                 : note.line;
}

QString readNoteText(const descriptionreader::ReadNote &note)
{
    using descriptionreader::ReadNote;
    const QString who = ownerText(note);
    switch (note.kind) {
    case ReadNote::Refused:
        return QString("the reader refuses the whole file: %1").arg(descriptionreader::refusalName(note.refusal));
    case ReadNote::MalformedXml: return malformedText(note);
    case ReadNote::UnknownType:
        if (note.text.isEmpty())
            return QStringLiteral("a parameter without type builds nothing (list, range or check)");
        return QString("a parameter of type \"%1\" builds nothing (list, range or check)").arg(note.text);
    case ReadNote::MissingAttribute:
        return QString("%1 has no %2: %3").arg(who, note.attribute, consequence(note.element, note.attribute));
    case ReadNote::NotAWholeNumber:
        return QString("%1: %2 \"%3\" is not a whole number: %4")
            .arg(who, note.attribute, note.text, consequence(note.element, note.attribute));
    case ReadNote::NotANumber:
        return QString("%1: %2 \"%3\" is not a number%4: %5")
            .arg(who, note.attribute, note.text,
                 note.text.contains(',') ? QStringLiteral(" (the decimal separator is \".\")") : QString(),
                 consequence(note.element, note.attribute));
    case ReadNote::UnknownAttribute:
        return QString("%1: attribute \"%2\"%3 means nothing here and is not read")
            .arg(who, note.attribute, suggestion(note.text));
    case ReadNote::UnusedAttribute:
        return QString("%1: a parameter of type \"%2\" has no use for %3").arg(who, note.text, note.attribute);
    case ReadNote::UnknownElement:
        return QString("<%1>%2 means nothing inside a device entry and is not read")
            .arg(note.element, suggestion(note.text));
    case ReadNote::MisplacedValue:
        if (note.owner.isEmpty())
            return QStringLiteral("a <Value> outside a list parameter is no entry of anything");
        return QString("a <Value> in \"%1\", which is no list parameter, is no entry of anything").arg(note.owner);
    case ReadNote::ScaleZero: return QString("%1: scale 0 is taken as 1").arg(who);
    case ReadNote::DecimalsCut:
        return QString("%1: decimals %2 are shown as %3").arg(who, note.text).arg(descriptionreader::MaxDecimals);
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
    if (finding.problem == Problem::NoDeviceEntry)
        return {0, QStringLiteral("holds no device entry (<ESC>): no device gets a page from it")};
    const DeviceDescription &device = devices.at(finding.device);
    if (finding.parameter < 0) {
        if (finding.problem == Problem::ShadowedDevice)
            return {device.line, QString("device entry %1 is never used: the entry at line %2 has the same "
                                         "identity and comes first")
                                     .arg(entryName(device))
                                     .arg(devices.at(finding.other).line)};
        return {device.line,
                QString("fwnp %1 is kept in one byte, as %2 blocks").arg(finding.raw).arg(finding.raw & finding.most)};
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
    case Problem::MinAboveMax:
        return {parameter.line, QString("range \"%1\": min %2 is above max %3: the control holds %2 only")
                                    .arg(name, number(finding.value, decimals), number(finding.readBack, decimals))};
    case Problem::StepNotPositive:
        return {parameter.line,
                QString("range \"%1\" has step %2 (a missing step is 0): its arrows and keys do not move it")
                    .arg(name, QLocale::c().toString(finding.value, 'g', 12))};
    case Problem::ListWithoutEntries:
        return {parameter.line,
                QString("list \"%1\" has no entries (<Value>): it shows nothing and sets nothing").arg(name)};
    case Problem::RepeatedEntry:
        return {parameter.line, QString("list \"%1\": entry %2 (\"%3\") has the text of entry %4: set and the "
                                        "settings files reach only the first")
                                    .arg(name)
                                    .arg(finding.entry)
                                    .arg(parameter.entries.value(finding.entry))
                                    .arg(finding.other)};
    case Problem::DependsOnItself:
        return {parameter.line, QString("parameter \"%1\" depends on its own cell %2: once it disables itself, "
                                        "nothing enables it again")
                                    .arg(name)
                                    .arg(finding.cell)};
    case Problem::DependencyNeverMet: {
        const ParameterDescription &source = device.parameters.at(finding.other);
        const QString shown =
            source.kind == ParameterKind::List
                ? QString("entry %1, but it has %2 entries").arg(finding.raw).arg(source.entries.size())
                : QString("%1, beyond its %2 to %3")
                      .arg(finding.raw)
                      .arg(number(valuetext::rangeBounds(source).minimum, 0),
                           number(valuetext::rangeBounds(source).maximum, 0));
        return {parameter.line, QString("parameter \"%1\" follows \"%2\" (line %3) at %4: it is never %5")
                                    .arg(name, source.name)
                                    .arg(source.line)
                                    .arg(shown, finding.inverted ? "disabled" : "enabled")};
    }
    case Problem::ShadowedDevice:
    case Problem::PageCountTruncated:
    case Problem::NoDeviceEntry: break;
    }
    return {parameter.line, QString("parameter \"%1\" is faulty").arg(name)};
}

// ---- checking

class Checker
{
public:
    Checker(Report &report, const QStringList &paths, bool strict) : report(report), strict(strict)
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
                    learn(readSource(path, Reading::PackageHead));
    }

    ExitStatus run()
    {
        report.list("problems");
        report.list("warnings");
        report.list("notes");
        if (interruption::stopRequested())
            return report.fail(interruption::stoppedWhile(QStringLiteral("reading the files")));
        int filesWithProblems = 0;
        int problems = 0;
        int warnings = 0;
        for (const SourceFile &source : sources) {
            QVector<Finding> findings = source.error.isEmpty()
                                            ? (source.isPackage ? checkPackage(source) : checkDescription(source))
                                            : QVector<Finding>{{0, "cannot be read: " + source.error}};
            std::stable_sort(findings.begin(), findings.end(),
                             [](const Finding &a, const Finding &b) { return a.line < b.line; });
            const int count = int(std::count_if(findings.begin(), findings.end(),
                                                [this](const Finding &finding) { return counts(finding.severity); }));
            warnings += int(std::count_if(findings.begin(), findings.end(), [](const Finding &finding) {
                return finding.severity == Severity::Warning;
            }));
            problems += count;
            filesWithProblems += count > 0 ? 1 : 0;
            for (const Finding &finding : findings)
                show(source, finding);
        }
        report.field("files", int(sources.size()), "Files checked");
        report.note(QString("Problems: %1").arg(problems));
        if (warnings > 0)
            report.note(QString("Warnings: %1%2").arg(warnings).arg(strict ? " (counted as problems)" : ""));
        if (problems == 0)
            return ExitStatus::Done;
        return report.fail({ExitStatus::BadUsage, QString("%1 %2 in %3 of %4 files.")
                                                      .arg(problems)
                                                      .arg(problems == 1 ? "problem" : "problems")
                                                      .arg(filesWithProblems)
                                                      .arg(sources.size())});
    }

private:
    bool counts(Severity severity) const
    {
        return severity == Severity::Problem || (strict && severity == Severity::Warning);
    }

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
            for (const DeviceDescription &device : source.devices)
                entries << KnownEntry{device, source.shown};
            return;
        }
        if (source.package.headAccepted && source.package.keys.hasDeviceGroup)
            packages << KnownPackage{source.package.keys, source.shown};
    }

    void show(const SourceFile &source, const Finding &finding)
    {
        const QString where = finding.line > 0 ? QString("%1:%2").arg(source.shown).arg(finding.line) : source.shown;
        const QJsonObject entry{{"file", source.shown}, {"line", finding.line}, {"message", finding.message}};
        switch (finding.severity) {
        case Severity::Problem: report.entry("problems", entry, QString("%1: %2").arg(where, finding.message)); break;
        case Severity::Warning:
            report.entry("warnings", entry, QString("%1: warning: %2").arg(where, finding.message));
            break;
        case Severity::Note: report.entry("notes", entry, QString("%1: note: %2").arg(where, finding.message)); break;
        }
    }

    QVector<Finding> checkDescription(const SourceFile &source) const
    {
        const QVector<descriptionreader::ReadNote> &notes = source.notes;
        const QVector<DeviceDescription> &devices = source.devices;
        QVector<Finding> findings;
        bool refused = false;
        for (const descriptionreader::ReadNote &note : notes) {
            // A file read only in part holds no entry for that reason alone.
            refused |= note.kind == descriptionreader::ReadNote::Refused
                       || note.kind == descriptionreader::ReadNote::MalformedXml;
            findings << Finding{readNoteLine(note), readNoteText(note),
                                note.kind == descriptionreader::ReadNote::UnusedAttribute ? Severity::Warning
                                                                                          : Severity::Problem};
        }
        for (const descriptioncheck::Finding &finding : descriptioncheck::check(devices))
            if (!refused || finding.problem != descriptioncheck::Problem::NoDeviceEntry)
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
                                                     .arg(entryName(device), device.pageSize == 0 ? "fwps" : "fwnp",
                                                          fitting.join(", "))};
        }
        return findings;
    }

    QVector<Finding> checkPackage(const SourceFile &source) const
    {
        const PackageInspection &inspection = source.package;
        QVector<Finding> findings;
        for (const PackageFault &problem : inspection.problems)
            findings << Finding{problem.line, packageFaultText(problem, inspection),
                                problem.kind == PackageFault::NotAVersion ? Severity::Warning : Severity::Problem};
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
                findings << Finding{line,
                                    QString("fits %1: %2 blocks of %3 bytes (%4 lines)")
                                        .arg(where)
                                        .arg(count)
                                        .arg(size)
                                        .arg(dialectText(inspection.dialect)),
                                    Severity::Note};
            else
                findings << Finding{line, QString("its image of %1 bytes (%2 lines) is not %3 blocks of %4 bytes, "
                                                  "as %5 has them")
                                              .arg(inspection.image.size())
                                              .arg(dialectText(inspection.dialect))
                                              .arg(count)
                                              .arg(size)
                                              .arg(where)};
        }
        QStringList otherHardware;
        QString firstPlace;
        for (const KnownEntry &entry : entries) {
            if (entry.device.identity.id < 0 || quint32(entry.device.identity.id) != inspection.keys.deviceId)
                continue;
            if (firstPlace.isEmpty())
                firstPlace = QString(" (%1:%2)").arg(entry.file).arg(entry.device.line);
            if (!otherHardware.contains(QString::number(entry.device.identity.hw)))
                otherHardware << QString::number(entry.device.identity.hw);
        }
        if (fitting == 0 && !otherHardware.isEmpty())
            findings << Finding{std::max<qint64>(inspection.hardwareLine, 1),
                                QString("it is for hardware %1, but the description entries for identifier %2 beside "
                                        "it are for hardware %3")
                                    .arg(inspection.keys.hwVersion)
                                    .arg(inspection.keys.deviceId)
                                    .arg(otherHardware.join(", ") + firstPlace),
                                Severity::Warning};
        else if (fitting == 0)
            findings << Finding{1,
                                entries.isEmpty()
                                    ? QStringLiteral("no description entry to hold it against")
                                    : QString("fits none of the %1 description entries checked (it is for identifier "
                                              "%2, hardware %3)")
                                          .arg(entries.size())
                                          .arg(inspection.keys.deviceId)
                                          .arg(inspection.keys.hwVersion),
                                Severity::Note};
        return findings;
    }

    Report &report;
    bool strict;
    QVector<SourceFile> sources;
    QStringList learned;
    QVector<KnownEntry> entries;
    QVector<KnownPackage> packages;
};

}  // namespace

QString packageFaultText(const PackageFault &problem, const PackageInspection &inspection)
{
    const Dialect dialect = inspection.dialect;
    switch (problem.kind) {
    case PackageFault::HeadTooLarge:
        return QString("the part before [Firmware] is larger than %1 KiB: the package is left out")
            .arg(MaxIniBytes / 1024);
    case PackageFault::NoDeviceGroup: return QStringLiteral("no [Device] group with keys: not a firmware package");
    case PackageFault::NoDataPart:
        if (inspection.nearMissLine > 0)
            return QString("\"%1\" is not the line [Firmware] (it has blanks or other letters): no data part, not a "
                           "firmware package")
                .arg(QString::fromLatin1(inspection.nearMissText));
        return QStringLiteral("no line [Firmware]: not a firmware package");
    case PackageFault::MissingKey:
        return QString("the [Device] group has no %1: it reads as 0, and the package fits only a device that "
                       "reports 0")
            .arg(problem.key);
    case PackageFault::KeyNotANumber:
        return QString("%1=%2 is not a whole number: it reads as 0, and the package fits only a device that "
                       "reports 0")
            .arg(problem.key, problem.text);
    case PackageFault::RepeatedKey:
        return QString("%1 is given again (first at line %2): this one counts").arg(problem.key).arg(problem.otherLine);
    case PackageFault::MissingVersion:
        return QStringLiteral("the [Device] group has no FW: the firmware page lists the package without a version, "
                              "and flash cannot check the version after the upload");
    case PackageFault::NotAVersion:
        return QString("FW=%1 is no version (major.minor or major.minor.build): flash cannot check the version "
                       "after the upload")
            .arg(problem.text);
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

ExitStatus check(Report &report, const QStringList &paths, bool strict)
{
    return Checker(report, paths, strict).run();
}

}  // namespace commands
