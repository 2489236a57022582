#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// Where descriptions and firmware packages are found. The program's own
// places always come first and are read as they always were: "tellur.dsc" in
// the current folder with further "*.dsc" in "firmwares/" beside the program,
// and the packages in that same "firmwares/". An installed program has
// neither, so when they hold nothing the user's data folder and then the
// package's shared data folder are tried, each laid out the same way: a
// "tellur.dsc" and a "firmwares/" folder.
namespace datafolders {

// A primary description file and the folder whose "*.dsc" are read after it.
struct DescriptionPlace {
    QString primaryFile;
    QString folder;
};

// The user's data folder, then the shared data folder installed with the program.
QStringList fallbackFolders();

// The program's place first, then one for each fallback folder.
QVector<DescriptionPlace> descriptionPlaces();
// The first place whose primary file exists; the program's place when none has one.
DescriptionPlace firstDescriptionPlace(const QVector<DescriptionPlace> &places);
DescriptionPlace descriptionPlace();

// The program's "firmwares/" first, then that of each fallback folder.
QStringList packageFolders();
// The first folder that holds a "*.upd" file; the program's when none does.
QString firstPackageFolder(const QStringList &folders);
QString packageFolder();

// Where settings read right before a firmware update are kept: "backups/"
// in the user's data folder, which outlives the program's own folder.
QString backupFolder();

}  // namespace datafolders
