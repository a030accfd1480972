// Paths given by their bytes, whose names need not be UTF-8: a stand-in link that every part opens.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUrl>

// Qt reads every file name as UTF-8 and replaces a byte that is none (a name written in Latin-1, say) by
// U+FFFD, so the path it gives names no file, and its directory listings leave such files out. A path whose
// bytes Qt does not read back as they are is given here as a link to it, made in a private folder of this
// process (removed at its end) and named as the file with each such byte read as Latin-1 ("caf\xE9.jpg" is
// linked as "café.jpg"): opened, measured and copied by that link, the file is read by its own bytes. Every
// other path is decoded as Qt decodes it. Where no link can be made, the decoded path is given.
QString PathFromNative(const QByteArray& path);

// A dropped or chosen local file's path, from the bytes of its address.
QString PathFromLocalUrl(const QUrl& url);

// The program's arguments after the first: each as PathFromNative gives it, except an option ("-..."),
// which is decoded as it is.
QStringList ArgumentsFromNative(int argc, char** argv);

// The path a stand-in link stands for, absolute and cleaned, its stray bytes read as Latin-1: the path to
// show and to name published files by. Any other path as it is.
QString ShownPath(const QString& path);

// What tells whether two paths lead to the same file: their canonical paths. A stand-in link stands for its
// file alone (two links to one file give one value), and never equals a canonical path, which Qt gives with
// U+FFFD for stray bytes and so alike for different files.
QString CanonicalPath(const QString& path);
