#pragma once

#include <QString>

// The window's "kova.ini", which names the port this program uses when it is
// given none. Installed and in the portable folder the two programs lie side
// by side; only the build tree keeps them in folders of their own.
QString windowPortSettingFile();
