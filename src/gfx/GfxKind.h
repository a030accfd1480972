// Picture kinds as the rest of the program asks about them: which kind an extension names, and whether a
// file is of the kind its extension names.
#pragma once

#include <QString>

// The usual extension of the kind a file extension names ("jpeg" and "JPG" both give "jpg"); empty for none.
QString PictureKindOfExtension(const QString& extension);
// Why fileName cannot be published as the picture its extension names ("Cannot load FILE: WHY", as the
// loader says it), told by its first bytes and never waiting on a pipe or device; empty when it can. Content that no kind recognises is left to the loader,
// which reads it whole: so a text file named ".jpg" is refused before anything is made from it.
QString PictureKindProblem(const QString& fileName);
