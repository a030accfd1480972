// Where the settings files live: the options file, the profiles file and the JSON files beside them.
#pragma once

#include <functional>

#include <QString>

inline constexpr char kOptionsFileName[] = "vlx.ini";
inline constexpr char kProfilesFileName[] = "profiles.vlx";

// Where the window or a command keeps its files; empty fields take the desktop's places.
struct TVeltrixPlaces {
    QString ConfigDir; // holds "vlx.ini", "profiles.vlx" and the JSON files; the user's configuration folder
    QString TempDir;   // the system's temporary directory; the working directory is a private folder in it
    // Where earlier versions kept those files, read while ConfigDir has none of its own: the program's folder
    // when ConfigDir is empty too, else none unless given.
    QString ProgramDir;
};

// The per-user configuration directory (created when missing), whatever folder the program is in: a build
// tree, a system folder or a copy on a stick is not the user's. Ends in '/'. Needs the application object for
// the program's name. Read: the folder's name only, nothing is made (a command that only reads its settings).
enum class TConfigDirUse { Write, Read };
QString ConfigDir(TConfigDirUse use = TConfigDirUse::Write);

// Earlier versions kept the settings files beside the program when they could write there. While the
// configuration directory configDir holds no file of a name, the one of that name in legacyDir is read; the
// first write of such a file into configDir is told once to onMoved (with the text for the status bar).
// An empty legacyDir, or one equal to configDir, turns this off.
void SetLegacyConfigDir(const QString& configDir, const QString& legacyDir,
                        std::function<void(const QString& note)> onMoved = {});

// The file to read for configFile (a file of the configuration directory): the earlier version's copy
// while configFile does not exist and that one does, else configFile itself.
QString ConfigFileToRead(const QString& configFile);

// A file that ConfigFileToRead took from beside the program was written into the configuration directory:
// the first time, onMoved hears.
void ConfigFileMoved();

// The configuration directory of places (ending in '/'), with the earlier versions' folder of places set up
// to be read from (SetLegacyConfigDir, onMoved as there). Read: the desktop's folder is not made.
QString UseConfigDir(const TVeltrixPlaces& places, std::function<void(const QString& note)> onMoved = {},
                     TConfigDirUse use = TConfigDirUse::Write);
