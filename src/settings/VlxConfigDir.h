// Where the options file and the profiles file live.
#pragma once

#include <QString>

inline constexpr char kOptionsFileName[] = "vlx.ini";
inline constexpr char kProfilesFileName[] = "profiles.vlx";

// The program's directory when it is writable, otherwise the per-user configuration directory (created when
// missing). Ends in '/'. Needs the application object for the program's directory and name.
QString ConfigDir();

// The same choice for a given program directory.
QString ConfigDir(const QString& programDir);
