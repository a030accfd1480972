// Published names of grid pictures: the lower-cased path with a short tag made from its directory.
#pragma once

#include <QString>

// The tag ("_" and up to four letters) made from the directory part of a lower-cased path.
QString DirectoryTag(const QString& path);

// The path lower-cased, with the directory tag inserted before its first '.' (or appended without one).
QString TaggedName(const QString& path);

// The part after the last '/' or '\' (both separate folders in the names the grid publishes).
QString FilePart(const QString& path);
