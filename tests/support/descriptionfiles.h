#pragma once

#include <QString>

// Writing description files where the reader looks for them: the primary
// file in the current folder and further files in the firmwares folder.
namespace descriptionfiles {

extern const QString Primary;

QString firmwaresFolder();
void removeAll();
void writeFile(const QString &path, const QByteArray &content);
void writePrimary(const QString &content);
void writeFirmwaresFile(const QString &name, const QString &content);

// An "ESC" element of the given identity around `parameters`.
QString device(int id, int hw, int fw, int fwm, const QString &name, const QString &parameters = QString(),
               const QString &extra = QString());
// A document holding the given elements under one root.
QString document(const QString &body);

}  // namespace descriptionfiles
