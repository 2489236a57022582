// What the shell's completion asks of the program, without a device.
#include "commands.h"
#include "parametervalues.h"

#include "description/datafolders.h"
#include "description/descriptionreader.h"
#include "link/portnaming.h"
#include "link/regularfile.h"

#include <QDir>
#include <QFile>
#include <QTextStream>

namespace commands {

namespace {

// The device entries of `description`, or of the files the window's lookup
// reads. A description named "-" is no file here: a Tab press must not wait
// for standard input.
QVector<DeviceDescription> describedDevices(const QString &description)
{
    QStringList files{description};
    if (description.isEmpty()) {
        const datafolders::DescriptionPlace place = datafolders::descriptionPlace();
        files = QStringList{place.primaryFile};
        for (const QString &name : QDir(place.folder).entryList({"*.dsc"}, QDir::Files, QDir::Reversed))
            files << place.folder + '/' + name;
    }
    QVector<DeviceDescription> devices;
    for (const QString &path : files) {
        QFile file(path);
        QString error;
        if (openRegularFile(file, &error))
            devices << descriptionreader::read(readBounded(file, descriptionreader::MaxFileBytes));
    }
    return devices;
}

ExitStatus writeLines(QTextStream &out, const QStringList &lines)
{
    for (const QString &line : lines)
        out << line << '\n';
    out.flush();
    return ExitStatus::Done;
}

}  // namespace

ExitStatus parameterNames(QTextStream &out, const QString &description)
{
    QStringList names;
    for (const DeviceDescription &device : describedDevices(description))
        for (const ParameterDescription &parameter : device.parameters)
            if (!names.contains(parameter.name))
                names << parameter.name;
    return writeLines(out, names);
}

ExitStatus listEntries(QTextStream &out, const QString &description, const QString &name)
{
    QStringList entries;
    for (const DeviceDescription &device : describedDevices(description))
        if (const ParameterDescription *parameter = findParameter(device, name))
            for (const QString &entry : parameter->entries)
                if (!entries.contains(entry))
                    entries << entry;
    return writeLines(out, entries);
}

ExitStatus portNames(QTextStream &out)
{
    return writeLines(out, portForms(listPorts()));
}

}  // namespace commands
