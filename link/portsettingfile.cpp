#include "link/portsettingfile.h"

#include "link/untrustedini.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFileInfo>
#include <QStandardPaths>

QString portSettingFile()
{
    const QString programFolder = QCoreApplication::applicationDirPath();
    return choosePortSettingFile(
        programFolder + QStringLiteral("/kova.ini"), QFileInfo(programFolder).isWritable(),
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
            + QStringLiteral("/kova/kova.ini"));
}

QString choosePortSettingFile(const QString &besideProgram, bool programFolderWritable,
                              const QString &inUserConfig)
{
    if (programFolderWritable || QFileInfo::exists(besideProgram))
        return besideProgram;
    return inUserConfig;
}

QString readPortName(const QString &file)
{
    const UntrustedIni ini = readUntrustedIni(file);
    if (ini.refusal != IniRefusal::None) {
        qDebug() << "Port setting file refused:" << file;
        return QString();
    }
    return iniGroup(ini.text, QStringLiteral("PORT")).value(QStringLiteral("Name")).toString();
}
