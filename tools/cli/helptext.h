#pragma once

#include <QString>

// The program's use, from the one table of commands and options: as
// --help prints it, for one command, and as a manual page.
namespace helptext {

QString full();
// Empty for a name that is no command.
QString command(const QString &name);
// The manual page, in roff.
QString manualPage(const QString &version);

}  // namespace helptext
