// The files a gallery publishes for each picture, and how its pages address them.
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

// The table page of every gallery.
inline const QString kIndexPage = QStringLiteral("index.html");

// The page of a picture: its name with the extension (from the last '.' of the file name) replaced by
// ".html", or ".html" appended to a name without one: "pic.big.jpg" gives "pic.big.html".
QString PageName(const QString& picName);

// A file name as a relative address into the gallery: "./" before a first segment holding ':', so that a
// browser reads no scheme in it; '%', '#' and '?' percent-encoded, so that it reads no escape, anchor or
// query; control characters (and DEL) and a space at either end percent-encoded, so that none is dropped.
// Everything else as it is. HTML-escape the result like any attribute value.
QString UrlFromFileName(const QString& fileName);

// Whether browsers show pictures of this file's kind (told by its extension) in an img element.
bool BrowserShows(const QString& fileName);

// The file a picture page shows: the picture itself when browsers show its kind, otherwise its PNG
// rendering, named by appending ".png": "chart_lpcs.wmf" is shown as "chart_lpcs.wmf.png".
QString BrowserViewableName(const QString& picName);

// Writes the PNG rendering of a picture file at the picture's measured size (GetPictureInfo). Throws the
// loader's error for a picture that cannot be read, EGfxHtmlException for a PNG that cannot be written; a
// failed write leaves no file behind.
void SaveBrowserRendering(const QString& pictureFile, const QString& pngFile);

// The JPEG a picture larger than the gallery's web size is published as: its name with the extension (as
// PageName takes it) replaced by ".web.jpg", so "beach_aers.jpg" gives "beach_aers.web.jpg" and
// "scan_aers.tif" gives "scan_aers.web.jpg".
QString WebPictureName(const QString& picName);

// Every file a generation run writes from one published picture name: the copy, its thumbnail, its page,
// its web-sized JPEG and, for a kind browsers do not show, its PNG rendering.
QStringList PublishedNames(const QString& picName);

// The pages a picture's page links as previous and next (file names, empty at either end).
struct TPageNeighbours {
    QString Prev;
    QString Next;
    bool operator==(const TPageNeighbours&) const = default;
};

// For each published picture name, its neighbours among the pages of the cells in grid order: empty names
// (empty cells) are skipped, and a picture placed in several cells has its one page at its first place.
QHash<QString, TPageNeighbours> PageNeighbours(const QStringList& cellNames);
