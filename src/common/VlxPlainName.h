// The one rule for the names of files the program may remove or replace in a folder it writes to.
#pragma once

#include <QString>

// True for a plain name of a file in a folder: not empty, not "." or "..", with neither '/' nor '\' (some
// servers take either as a folder) and no NUL, CR or LF (which end a command line). Only such names are ever
// removed from a folder the program writes to, whatever a record read back from disk names.
bool PlainFileName(const QString& name);
