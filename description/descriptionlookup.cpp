#include "description/descriptionlookup.h"

#include "description/datafolders.h"
#include "description/descriptionreader.h"
#include "link/regularfile.h"

#include <QDebug>
#include <QDir>
#include <QFile>

namespace descriptionlookup {

Result findIn(const QString &path, const DescriptionIdentity &identity)
{
    Result result;
    result.file = path;
    result.looked.resize(1);
    FileLooked &looked = result.looked.first();
    looked.file = path;
    QFile file(path);
    if (!openRegularFile(file, &result.error, QIODevice::Text)) {
        // The same words for every file, as the window always wrote them: docs/compatibility.md
        qDebug() << "Error: Cannot read file"
                 << "Tellur.dsc"
                 << ": " << result.error;
        result.outcome = Result::CannotOpen;
        return result;
    }
    looked.opened = true;
    // The size a file claims is not trusted: read one byte beyond the bound.
    const QByteArray content = file.read(descriptionreader::MaxFileBytes + 1);
    descriptionreader::ContentRefusal refusal = descriptionreader::ContentRefusal::None;
    QVector<descriptionreader::ReadNote> notes;
    const QVector<DeviceDescription> devices = descriptionreader::read(content, identity, &refusal, &notes);
    for (const descriptionreader::ReadNote &note : notes)
        if (note.kind == descriptionreader::ReadNote::MalformedXml)
            looked.syntaxError = {note.line, note.text};
    looked.refusal = refusal;
    if (refusal != descriptionreader::ContentRefusal::None) {
        qDebug() << "Description file" << path << "skipped:" << descriptionreader::refusalName(refusal);
        result.outcome = Result::Refused;
        result.refusal = refusal;
    } else if (!devices.isEmpty()) {
        result.outcome = Result::Found;
        result.device = devices.first();
    }
    return result;
}

Result find(const DescriptionIdentity &identity)
{
    const datafolders::DescriptionPlace place = datafolders::descriptionPlace();
    QVector<FileLooked> looked;
    const auto ends = [&looked](Result &result) {
        looked += result.looked;
        result.looked = looked;
        return result.outcome == Result::Found || result.outcome == Result::CannotOpen;
    };
    Result result = findIn(place.primaryFile, identity);
    if (ends(result))
        return result;
    const QStringList names = QDir(place.folder).entryList({QStringLiteral("*.dsc")}, QDir::Files, QDir::Reversed);
    for (const QString &name : names) {
        result = findIn(place.folder + QLatin1Char('/') + name, identity);
        if (ends(result))
            return result;
    }
    Result none;
    none.looked = looked;
    return none;
}

}  // namespace descriptionlookup
