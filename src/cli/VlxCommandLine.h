// The command line: `veltrix generate` writes a gallery and `veltrix upload` stores one, without a display or
// a window, through the same generation run and upload run as the desktop program, from the same profiles
// file and options file.
#pragma once

#include <memory>

#include <QString>
#include <QStringList>

#include "cli/VlxCliStreams.h"

struct TGenerateStart;
struct TVeltrixPlaces;

// What the arguments ask for.
struct TCliArgs {
    QString Command; // "generate", "upload", "help" or "version"
    QString Profile;
    int Columns = 0;
    int Rows = 0; // 0: as many as the pictures need
    QString OutDir;
    QString CaptionsFile; // "name<TAB>caption" lines; empty for none
    QStringList Files;
    QString Gallery; // a gallery file: its table, pictures and settings in place of the options above
    int Connections = 0; // upload: files stored at once; 0: as the options file says
};

// True when the program was started as a command (its first argument is one), not as the desktop window.
bool IsCommandLine(int argc, char** argv);

// Reads the arguments after the program's name; empty on success, else the text naming the bad argument.
QString ParseCliArgs(const QStringList& args, TCliArgs& parsed);

// Begins, before the application object is made, what the command can do without it: `veltrix generate`
// reads its pictures on every core meanwhile. Null when there is nothing to begin.
std::shared_ptr<TGenerateStart> StartCommandLine(const QStringList& args, const TVeltrixPlaces& places);

// Runs the command given by the arguments after the program's name; needs the application object.
// Returns the exit status. What started began is used when it was begun for the same arguments.
int RunCommandLine(const QStringList& args, const TVeltrixPlaces& places, const TCliStreams& streams,
                   TGenerateStart* started = nullptr);
