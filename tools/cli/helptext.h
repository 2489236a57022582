#pragma once

#include <QString>

// The program's use, from the one table of commands and options: as
// --help prints it, for one command, as a manual page and as the shell's
// completion.
namespace helptext {

QString full();
// Empty for a name that is no command.
QString command(const QString &name);
// The manual page, in roff.
QString manualPage(const QString &version);
// The bash completion: `script` with @COMMANDS@, @COMMAND_OPTIONS@ and
// @COMMAND_ARGUMENTS@ replaced by the table's commands, the options of each
// and what each takes as arguments.
QString completionScript(QString script);

}  // namespace helptext
