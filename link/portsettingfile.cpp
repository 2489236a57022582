#include "link/portsettingfile.h"

#include "link/untrustedini.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

// Every kova.ini written so far: docs/compatibility.md
const QString PortGroup = QStringLiteral("PORT");
const QString NameKey = QStringLiteral("Name");

}  // namespace

QString portSettingFile()
{
    return portSettingFileOf(QCoreApplication::applicationDirPath());
}

QString portSettingFileOf(const QString &programFolder)
{
    return choosePortSettingFile(programFolder + QStringLiteral("/kova.ini"), QFileInfo(programFolder).isWritable(),
                                 QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                                     + QStringLiteral("/kova/kova.ini"));
}

QString choosePortSettingFile(const QString &besideProgram, bool programFolderWritable, const QString &inUserConfig)
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
    return iniGroup(ini.text, PortGroup, IniEncoding::Latin1).value(NameKey);
}

bool writePortName(const QString &file, const QString &name)
{
    QByteArray text;
    if (QFileInfo::exists(file)) {
        const UntrustedIni ini = readUntrustedIni(file);
        if (ini.refusal != IniRefusal::None) {
            qDebug() << "Port setting file not written:" << file;
            return false;
        }
        text = ini.text;
    }
    QSaveFile out(file);
    const QByteArray written = withIniValue(text, PortGroup, NameKey, name);
    if (!QDir().mkpath(QFileInfo(file).absolutePath()) || !out.open(QIODevice::WriteOnly)
        || out.write(written) != written.size() || !out.commit()) {
        qDebug() << "Port setting file not written:" << file << out.errorString();
        return false;
    }
    return true;
}
