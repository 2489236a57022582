#include "windowsettings.h"

#include "link/portsettingfile.h"

#include <QCoreApplication>
#include <QDir>

QString windowPortSettingFile()
{
    const QString own = QCoreApplication::applicationDirPath();
    const bool inBuildTree = QDir(own).canonicalPath() == QDir(QStringLiteral(KOVA_CLI_BUILD_DIR)).canonicalPath();
    return portSettingFileOf(inBuildTree ? QStringLiteral(KOVA_WINDOW_BUILD_DIR) : own);
}
