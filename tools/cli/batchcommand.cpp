// batch: controller after controller on one cable, each flashed, loaded,
// compared and recorded, with the rules of flash, load and diff.
#include "batchcommand.h"

#include "backuprestore.h"
#include "clioptions.h"
#include "commands.h"
#include "deviceconnection.h"
#include "interruption.h"
#include "report.h"

#include "firmware/firmwarepackage.h"
#include "firmware/packagecheck.h"
#include "link/dialect.h"

#include <QCryptographicHash>
#include <QDate>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QTextStream>
#include <QThread>

namespace commands {

namespace {

// Between two rounds of pings while waiting for a controller to come or go.
constexpr int PollGapMs = 200;
// Pings in a row that bring back only the cable's echo before a controller
// counts as gone: one lost reply must not make it a new unit.
constexpr int LeftAfterEchoes = 2;
// How long a cable that went away (its port gone, or not even its echo
// coming back) may take to come back before the batch ends.
constexpr int CableReturnMs = 10000;

// A command run inside a unit: its report is kept, not shown.
class QuietRun
{
public:
    QuietRun() : outStream(&outText), errStream(&errText), unitReport(outStream, errStream, true) {}

    Report &report() { return unitReport; }
    // Why the command did not end well, in its own sentence.
    QString reason() const
    {
        const QString error = unitReport.result().value("error").toString();
        return error.isEmpty() ? unitReport.lastWarning() : error;
    }
    QString field(const QString &key) const { return unitReport.result().value(key).toString(); }
    QJsonArray parameters() const { return unitReport.result().value("parameters").toArray(); }

private:
    QString outText;
    QString errText;
    QTextStream outStream;
    QTextStream errStream;
    Report unitReport;
};

QString differencesText(const QString &path, const QJsonArray &parameters)
{
    QStringList named;
    for (const QJsonValue &entry : parameters) {
        const QJsonObject parameter = entry.toObject();
        const QString state = parameter.value("state").toString();
        if (state == "differs")
            named << QString("%1 (device %2, file %3)")
                         .arg(parameter.value("name").toString(),
                              parameter.value("device").toObject().value("shown").toString(),
                              parameter.value("file").toObject().value("shown").toString());
        else
            named << QString("%1 (%2)").arg(parameter.value("name").toString(), state);
    }
    return QString("After the load %1 setting%2 from %3: %4.")
        .arg(named.size())
        .arg(named.size() == 1 ? " differs" : "s differ")
        .arg(path, named.join(", "));
}

class Batch
{
public:
    Batch(DeviceConnection &connection, Report &report, const Terminal &terminal, const BatchJob &job, BatchLog &log)
        : connection(connection), report(report), terminal(terminal), job(job), log(log)
    {
    }

    ExitStatus run();

private:
    enum class Wait { Done, Stopped, CableGone };

    QString question() const;
    Wait waitForController();
    Wait waitUntilLeft();
    // Whether the cable is (back) on its port; measures how long it is away.
    bool cableThere(bool echoed);
    void pause() const { QThread::msleep(PollGapMs); }
    // Ctrl+C while waiting is how a batch without --count ends: the units
    // decide the status. SIGTERM and SIGHUP come from elsewhere and say so.
    static std::optional<ExitStatus> stoppedWaiting()
    {
        return interruption::stopStatus() == ExitStatus::Interrupted ? std::nullopt
                                                                     : std::optional(interruption::stopStatus());
    }

    void runUnit(BatchRecord &record);
    std::optional<Failure> refusal();
    std::optional<Failure> flashUnit(BatchRecord &record);
    std::optional<Failure> loadUnit();
    QString unitLine(const BatchRecord &record) const;
    ExitStatus end(std::optional<ExitStatus> status);

    DeviceConnection &connection;
    Report &report;
    const Terminal &terminal;
    const BatchJob &job;
    BatchLog &log;
    QString portName;
    QElapsedTimer cableAway;
    int units = 0;
    int ok = 0;
    int failed = 0;
    int refused = 0;
};

QString Batch::question() const
{
    const QString onto = QString("onto each controller on %1?").arg(portName);
    if (job.flashes() && job.loads())
        return QString("Flash %1 and load %2 %3").arg(job.packageVersion, job.settingsPath, onto);
    if (job.flashes())
        return QString("Flash %1 %2").arg(job.packageVersion, onto);
    return QString("Load %1 %2").arg(job.settingsPath, onto);
}

ExitStatus Batch::run()
{
    if (std::optional<Failure> failure = connection.openPort())
        return report.fail(*failure);
    portName = connection.session().portName();
    if (!job.yes) {
        if (job.flashes())
            report.errors() << UpdateWarning << '\n';
        switch (ask(report, terminal, question())) {
        case Answer::Yes: break;
        case Answer::No: report.warn(QStringLiteral("No controller was touched.")); return ExitStatus::Declined;
        case Answer::Stopped: return report.fail(interruption::stoppedWhile(QStringLiteral("asking")));
        }
    }
    const QString adapter = connection.adapterSerialNumber();
    while (job.count == 0 || units < job.count) {
        report.note(QString("Waiting for a controller on %1…").arg(portName));
        switch (waitForController()) {
        case Wait::Done: break;
        case Wait::Stopped: return end(stoppedWaiting());
        case Wait::CableGone: return end(ExitStatus::NoPort);
        }
        BatchRecord record;
        record.unit = ++units;
        record.port = portName;
        if (!adapter.isEmpty())
            record.adapter = adapter;
        runUnit(record);
        ok += record.result == BatchRecord::Result::Ok;
        failed += record.result == BatchRecord::Result::Failed;
        refused += record.result == BatchRecord::Result::Refused;
        report.entry("records", batchlog::toJson(record), unitLine(record));
        QString error;
        if (!log.append(record, &error)) {
            report.fail(
                {ExitStatus::BadUsage,
                 QString("The record of unit %1 cannot be written to %2: %3.").arg(units).arg(log.path(), error)});
            return end(ExitStatus::BadUsage);
        }
        // A stop during a unit ends the batch as it ends flash.
        if (interruption::stopRequested() || interruption::signalHeld())
            return end(interruption::stopStatus());
        if ((record.result == BatchRecord::Result::Failed && job.stopOnFailure) || units == job.count)
            break;
        report.note(QStringLiteral("Disconnect the controller."));
        if (waitUntilLeft() == Wait::Stopped)
            return end(stoppedWaiting());
    }
    return end(std::nullopt);
}

bool Batch::cableThere(bool echoed)
{
    if (echoed) {
        cableAway.invalidate();
        return true;
    }
    if (!cableAway.isValid())
        cableAway.start();
    return cableAway.elapsed() < CableReturnMs;
}

Batch::Wait Batch::waitForController()
{
    DeviceSession &session = connection.session();
    for (;;) {
        bool echoed = false;
        if (session.isOpen() || connection.reopenPort()) {
            for (DialectSetting setting : DialectOrder) {
                if (interruption::stopRequested())
                    return Wait::Stopped;
                const PingResult result = session.ping(setting);
                if (result == Answered)
                    return Wait::Done;
                echoed |= result != Silent;
            }
        }
        if (interruption::stopRequested())
            return Wait::Stopped;
        if (!cableThere(echoed))
            return Wait::CableGone;
        pause();
    }
}

Batch::Wait Batch::waitUntilLeft()
{
    DeviceSession &session = connection.session();
    const DialectSetting dialect = session.dialect();
    for (int echoes = 0; echoes < LeftAfterEchoes;) {
        if (interruption::stopRequested())
            return Wait::Stopped;
        const PingResult result = session.ping(dialect);
        // Gone with its port or its cable: whatever comes back is a new unit.
        if (result == Silent)
            return Wait::Done;
        echoes = result == Answered ? 0 : echoes + 1;
        pause();
    }
    return Wait::Done;
}

void Batch::runUnit(BatchRecord &record)
{
    record.started = QDateTime::currentDateTime();
    if (job.flashes()) {
        record.package = job.packagePath;
        record.packageSha256 = job.packageSha256;
    }
    if (job.loads())
        record.settings = job.settingsPath;
    const auto finish = [&](BatchRecord::Result result, const QString &reason) {
        record.result = result;
        record.reason = reason;
        record.ended = QDateTime::currentDateTime();
    };
    const std::optional<Failure> met = connection.meetDevice();
    const DeviceIdentity &identity = connection.identity();
    if (!met || met->status == ExitStatus::NoDescription) {
        record.id = identity.deviceId;
        record.hw = identity.hwVersion;
        record.bl = identity.blVersion;
        record.firmwareBefore = connection.settingsIdentity().firmwareText();
    }
    if (met)
        return finish(met->status == ExitStatus::NoDescription ? BatchRecord::Result::Refused
                                                               : BatchRecord::Result::Failed,
                      met->sentence);
    record.device = connection.description().name;
    if (std::optional<Failure> failure = refusal())
        return finish(BatchRecord::Result::Refused, failure->sentence);
    if (std::optional<Failure> failure = flashUnit(record))
        return finish(BatchRecord::Result::Failed, failure->sentence);
    if (std::optional<Failure> failure = loadUnit())
        return finish(BatchRecord::Result::Failed, failure->sentence);
    finish(BatchRecord::Result::Ok, QString());
}

// A unit that the package or the settings file does not fit gets nothing.
std::optional<Failure> Batch::refusal()
{
    if (job.flashes())
        if (std::optional<Failure> failure = checkPackageFits(connection, job.packagePath, job.package))
            return failure;
    if (!job.loads())
        return std::nullopt;
    SettingsIdentity device = connection.settingsIdentity();
    // The firmware the file was made under is the package's (checked at the
    // start), and its description may name the device anew.
    if (job.flashes()) {
        device.name = job.settings.device.name;
        device.identity.fwMajor = job.settings.device.identity.fwMajor;
        device.identity.fwMinor = job.settings.device.identity.fwMinor;
        device.identity.fwBuild = job.settings.device.identity.fwBuild;
    }
    return settingsFit(device, job.settingsPath, job.settings, false);
}

// The settings backup, and the upload with every check of flash.
std::optional<Failure> Batch::flashUnit(BatchRecord &record)
{
    if (!job.flashes()) {
        SettingsBackup backup;
        std::optional<Failure> failure = backUpSettings(connection, &backup);
        if (!backup.path.isEmpty())
            record.backup = backup.path;
        return failure;
    }
    QuietRun flashing;
    const ExitStatus status =
        flash(connection, flashing.report(), Terminal(), job.packagePath, job.package, true, false);
    if (!flashing.field("backup").isEmpty())
        record.backup = flashing.field("backup");
    if (!flashing.field("firmware").isEmpty())
        record.firmwareAfter = flashing.field("firmware");
    if (status != ExitStatus::Done)
        return Failure{status, flashing.reason()};
    if (job.loads())
        return connection.findDescriptionAgain();
    return std::nullopt;
}

// load's rules, then diff's: any difference left is a failure.
std::optional<Failure> Batch::loadUnit()
{
    if (!job.loads())
        return std::nullopt;
    QuietRun loading;
    const ExitStatus loaded = load(connection, loading.report(), job.settingsPath, job.settings, false, false);
    if (loaded != ExitStatus::Done)
        return Failure{loaded, loading.reason()};
    QuietRun comparing;
    const ExitStatus compared = diff(connection, comparing.report(), job.settingsPath, job.settings, false);
    if (compared == ExitStatus::Differences)
        return Failure{ExitStatus::DeviceFailed, differencesText(job.settingsPath, comparing.parameters())};
    if (compared != ExitStatus::Done)
        return Failure{compared, comparing.reason()};
    return std::nullopt;
}

QString Batch::unitLine(const BatchRecord &record) const
{
    QString what = record.device.value_or(QStringLiteral("unknown controller"));
    if (record.firmwareBefore)
        what += ", firmware " + *record.firmwareBefore;
    if (record.firmwareAfter && record.firmwareAfter != record.firmwareBefore)
        what += " -> " + *record.firmwareAfter;
    const QString line = QString("Unit %1: %2 (%3)").arg(record.unit).arg(batchlog::resultName(record.result), what);
    return record.reason.isEmpty() ? line : line + ": " + record.reason;
}

// The counts, and the status they give unless `status` overrides them.
ExitStatus Batch::end(std::optional<ExitStatus> status)
{
    report.field("units", units, "Units");
    report.field("ok", ok, "OK");
    report.field("failed", failed, "Failed");
    report.field("refused", refused, "Refused");
    report.field("log", log.path(), "Log");
    const QList<int> missing = log.unitsNotReadBack();
    if (!missing.isEmpty()) {
        QStringList numbers;
        for (int unit : missing)
            numbers << QString::number(unit);
        report.fail(
            {ExitStatus::BadUsage,
             QString("The log %1, read back, lacks the record of unit %2.").arg(log.path(), numbers.join(", "))});
        status = status.value_or(ExitStatus::BadUsage);
    }
    if (status == ExitStatus::NoPort)
        report.fail({ExitStatus::NoPort, QString("The cable on %1 went away and did not come back.").arg(portName)});
    if (status)
        return *status;
    if (failed > 0)
        return ExitStatus::DeviceFailed;
    return refused > 0 ? ExitStatus::NoDescription : ExitStatus::Done;
}

}  // namespace

std::optional<Failure> prepareBatch(const CliOptions &options, BatchJob *job, BatchLog *log)
{
    if (options.flashPackage.isEmpty() && options.settingsFile.isEmpty())
        return Failure{ExitStatus::BadUsage, QStringLiteral("batch needs --flash PACKAGE, --settings FILE or both.")};
    job->count = options.count;
    job->stopOnFailure = options.stopOnFailure;
    job->yes = options.yes;
    if (!options.flashPackage.isEmpty()) {
        job->packagePath = options.flashPackage;
        if (std::optional<Failure> failure = readPackage(job->packagePath, &job->package))
            return failure;
        job->packageVersion = inspectPackageHead(job->package).keys.version;
        job->packageSha256 = QCryptographicHash::hash(job->package, QCryptographicHash::Sha256).toHex();
    }
    if (!options.settingsFile.isEmpty()) {
        if (options.settingsFile == "-")
            return Failure{ExitStatus::BadUsage,
                           QStringLiteral("batch reads --settings from a file: standard input answers its question.")};
        job->settingsPath = options.settingsFile;
        if (std::optional<Failure> failure = readSettings(job->settingsPath, &job->settings))
            return failure;
    }
    // Loaded onto the new firmware, the file must have been made under it.
    const std::optional<FirmwareVersion> version = parseFirmwareVersion(job->packageVersion);
    const DeviceIdentity &made = job->settings.device.identity;
    if (job->flashes() && job->loads() && version && !version->matches(made.fwMajor, made.fwMinor, made.fwBuild))
        return Failure{ExitStatus::BadUsage, QString("%1 was made under firmware %2, but %3 installs %4; nothing was "
                                                     "opened.")
                                                 .arg(job->settingsPath, job->settings.device.firmwareText(),
                                                      job->packagePath, job->packageVersion)};
    const QString path = options.logFile.isEmpty() ? batchlog::defaultName(QDate::currentDate()) : options.logFile;
    QString error;
    if (!log->open(path, &error))
        return Failure{ExitStatus::BadUsage, QString("The log %1 cannot be written: %2.").arg(path, error)};
    return std::nullopt;
}

ExitStatus batch(DeviceConnection &connection, Report &report, const Terminal &terminal, const BatchJob &job,
                 BatchLog &log)
{
    return Batch(connection, report, terminal, job, log).run();
}

}  // namespace commands
