#pragma once

#include <QString>

// Where "kova.ini" is kept. Beside the program when it is there already or
// that folder can be written; otherwise (an installed program in a system
// folder) in the user's configuration folder, so that the echo scan, which
// writes to every serial port, does not run at every start.
QString portSettingFile();

// The same choice, given the two candidate files and whether the program's
// folder can be written.
QString choosePortSettingFile(const QString &besideProgram, bool programFolderWritable,
                              const QString &inUserConfig);
