#pragma once

// Small helpers shared by the tests that run the program against the
// simulated device.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QString>

namespace testsupport {

inline QString portSettingPath()
{
    return QCoreApplication::applicationDirPath() + "/kova.ini";
}

// The program reads the port to use from "kova.ini" beside its executable.
inline void writePortSetting(const QString &portName)
{
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

}  // namespace testsupport
