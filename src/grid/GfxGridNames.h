// Published names of grid pictures: the lower-cased path with a short tag made from its directory.
#pragma once

#include <functional>

#include <QString>

// The tag ("_" and up to four letters) made from the directory part of a lower-cased path.
QString DirectoryTag(const QString& path);

// The path lower-cased, with the directory tag inserted before its first '.' (or appended without one).
QString TaggedName(const QString& path);

// The part after the last '/' or '\' (both separate folders in the names the grid publishes).
QString FilePart(const QString& path);

// The first of name, then name with a counter before its extension (the part from its last '.'), that is
// not taken: "img.jpg", "img-2.jpg", "img-3.jpg", ...; a name without '.' takes the counter at its end.
// taken must hold for finitely many names.
QString DistinctName(const QString& name, const std::function<bool(const QString&)>& taken);
