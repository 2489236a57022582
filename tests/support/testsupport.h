#pragma once

// Small helpers shared by the tests that run the program against the
// simulated device.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QString>
#include <QStringList>

namespace testsupport {

// The bound of a wait for a condition: far above what it takes, so that a
// test holds on a machine whose cores are busy. How long things take is for
// the benchmarks to say.
constexpr int ConditionWaitMs = 30000;

inline QString portSettingPath()
{
    return QCoreApplication::applicationDirPath() + "/kova.ini";
}

// The program reads the port to use from "kova.ini" beside its executable.
// A fresh file: the toolkit's settings writer would read what is there first.
inline void writePortSetting(const QString &portName)
{
    QFile::remove(portSettingPath());
    QSettings settings(portSettingPath(), QSettings::IniFormat);
    settings.beginGroup("PORT");
    settings.setValue("Name", portName);
    settings.endGroup();
    settings.sync();
}

inline QString sourcePath(const QString &relative)
{
    return qEnvironmentVariable("KOVA_SOURCE_DIR") + "/" + relative;
}

// Collects the warnings written while it lives; other messages go on to
// the handler before it (Qt Test's, which keeps ignoreMessage working).
class WarningCatcher
{
public:
    WarningCatcher()
    {
        caught().clear();
        forward() = qInstallMessageHandler(&WarningCatcher::handle);
    }
    ~WarningCatcher() { qInstallMessageHandler(forward()); }
    QStringList warnings() const { return caught(); }

private:
    static QStringList &caught()
    {
        static QStringList list;
        return list;
    }
    static QtMessageHandler &forward()
    {
        static QtMessageHandler handler = nullptr;
        return handler;
    }
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        if (type == QtWarningMsg || type == QtCriticalMsg)
            caught() << message;
        else if (forward())
            forward()(type, context, message);
    }
};

}  // namespace testsupport
