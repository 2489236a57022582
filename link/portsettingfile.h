#pragma once

#include <QString>

// Where "kova.ini" is kept. Beside the program when it is there already or
// that folder can be written; otherwise (an installed program in a system
// folder) in the user's configuration folder, so that the echo scan, which
// writes to every serial port, does not run at every start.
QString portSettingFile();
// The file that a program in `programFolder` keeps, by the same choice.
QString portSettingFileOf(const QString &programFolder);

// The same choice, given the two candidate files and whether the program's
// folder can be written.
QString choosePortSettingFile(const QString &besideProgram, bool programFolderWritable, const QString &inUserConfig);

// The port name kept in the setting file's group "PORT", key "Name"; empty
// when the file holds none. The file may have been edited by hand, so it is
// read as untrusted text.
QString readPortName(const QString &file);

// Keeps `name` as the port name, creating the file and its folder when they
// are missing. Whatever else the file holds stays byte for byte; a file
// that cannot be read, or is far larger than a setting file, is left alone.
bool writePortName(const QString &file, const QString &name);
