// The files a gallery publishes for each picture, and how its pages address them.
#include "html/WebFiles.h"

#include <QImageWriter>
#include <QSet>

#include "common/VlxSaveFile.h"
#include "gfx/GfxMeasure.h"
#include "gfx/GfxPic.h"
#include "html/HtmlTags.h"

QString PageName(const QString& picName) {
    const qsizetype dot = picName.lastIndexOf('.');
    return (dot > picName.lastIndexOf('/') ? picName.left(dot) : picName) + ".html";
}

QString WebPictureName(const QString& picName) {
    const qsizetype dot = picName.lastIndexOf('.');
    return (dot > picName.lastIndexOf('/') ? picName.left(dot) : picName) + ".web.jpg";
}

QString UrlFromFileName(const QString& fileName) {
    QString url;
    url.reserve(fileName.size() + 2);
    // A first segment holding ':' would be read as a scheme ("javascript:", "http:"); after "./" it is a
    // path into the gallery whatever it holds.
    const qsizetype slash = fileName.indexOf('/');
    if (fileName.left(slash < 0 ? fileName.size() : slash).contains(':'))
        url += QStringLiteral("./");
    for (qsizetype i = 0; i < fileName.size(); ++i) {
        const char16_t c = fileName[i].unicode();
        // Browsers drop TAB, LF and CR from an address, and spaces and control characters at its ends;
        // the other control characters are encoded too, so that every one of them reaches its file.
        const bool edgeSpace = c == ' ' && (i == 0 || i == fileName.size() - 1);
        if (c == '%' || c == '#' || c == '?' || c < 0x20 || c == 0x7F || edgeSpace)
            url += QStringLiteral("%%1").arg(static_cast<uint>(c), 2, 16, QChar(u'0')).toUpper();
        else
            url += fileName[i];
    }
    return url;
}

bool BrowserShows(const QString& fileName) {
    static const QStringList shown{"jpg", "jpeg", "png", "gif", "bmp", "ico", "webp"};
    const qsizetype dot = fileName.lastIndexOf('.');
    return dot > fileName.lastIndexOf('/') && shown.contains(fileName.mid(dot + 1).toLower());
}

QString BrowserViewableName(const QString& picName) {
    return BrowserShows(picName) ? picName : picName + ".png";
}

void SaveBrowserRendering(const QString& pictureFile, const QString& pngFile) {
    TGfxBaseIm picture;
    picture.LoadPicture(pictureFile);
    // The page gives the measured size; a rendering of another size would be stretched by the browser.
    // Measured as GetPictureInfo measures, with the picture just loaded standing in for a second load.
    int width = 0, height = 0, fileSize = 0;
    const QString refusal =
        MeasurePictureFile(pictureFile, width, height, fileSize, QSize(picture.Width(), picture.Height()));
    if (!refusal.isEmpty())
        throw EGfxHtmlException(refusal);
    TGfxBaseIm sized;
    if (width != picture.Width() || height != picture.Height())
        ResizePicture(width, height, picture, sized);
    const TGfxBaseIm& shown = sized.HasImage() ? sized : picture;
    // Written beside the target and renamed over it when complete, as the pages are.
    TSaveFile file(pngFile);
    if (!file.open(QIODevice::WriteOnly))
        throw EGfxHtmlException("Cannot create file " + pngFile + ": " + file.errorString());
    QImageWriter writer(&file, "png");
    if (!writer.write(shown.Bitmap()))
        throw EGfxHtmlException("Cannot write file " + pngFile + ": " +
                                (file.WriteFailed() ? file.errorString() : writer.errorString()));
    if (!file.commit())
        throw EGfxHtmlException("Cannot write file " + pngFile + ": " + file.errorString());
}

QStringList PublishedNames(const QString& picName) {
    // The web-sized name counts whether or not the setting is on now: names stay as they were given.
    QStringList names{picName, kThumbPrefix + picName, PageName(picName), WebPictureName(picName)};
    if (!BrowserShows(picName))
        names << BrowserViewableName(picName);
    return names;
}

QHash<QString, TPageNeighbours> PageNeighbours(const QStringList& cellNames) {
    QStringList order;
    QSet<QString> seen;
    for (const QString& name : cellNames) {
        if (!name.isEmpty() && !seen.contains(name)) {
            seen.insert(name);
            order << name;
        }
    }
    QHash<QString, TPageNeighbours> neighbours;
    for (int i = 0; i < order.size(); ++i) {
        TPageNeighbours& entry = neighbours[order[i]];
        if (i > 0)
            entry.Prev = PageName(order[i - 1]);
        if (i + 1 < order.size())
            entry.Next = PageName(order[i + 1]);
    }
    return neighbours;
}
