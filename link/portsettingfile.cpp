#include "link/portsettingfile.h"

#include <QCoreApplication>
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
