// The order pictures are added and sorted in: file names as people read them, or the date taken.
#include "gallery/GalleryOrder.h"

#include <algorithm>
#include <numeric>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "gallery/Gallery.h"
#include "gfx/GfxExif.h"
#include "gfx/GfxJpegWalk.h"
#include "gfx/GfxPic.h"

namespace {

// Enough for the segments before the picture data of any camera's file; the EXIF block is at most 64 KiB.
constexpr qint64 kHeaderBytes = 256 * 1024;

// The DateTimeOriginal of a JPEG's first EXIF segment; empty when the file has none or is no JPEG.
QByteArray JpegDateTimeOriginal(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray head = file.read(kHeaderBytes);
    if (!head.startsWith("\xFF\xD8"))
        return {};
    for (qsizetype at = 2;;) {
        const std::optional<TJpegSegment> s = JpegSegmentAt(head, at);
        // The picture data starts: no EXIF after it counts.
        if (!s || s->Marker == 0xDA || s->Marker == 0xD9 || s->Length < 0 || s->Next() > head.size())
            return {};
        const QByteArray body = head.mid(s->Data, s->Length);
        if (s->Marker == 0xE1 && body.startsWith(QByteArray("Exif\0\0", 6)))
            return ExifDateTimeOriginal(reinterpret_cast<const uchar*>(body.constData()), body.size());
        at = s->Next();
    }
}

// File names as people read them: runs of digits compare by their number, the rest ignoring letter case.
int CompareNames(const QString& a, const QString& b) {
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            const qsizetype startA = i;
            const qsizetype startB = j;
            while (i < a.size() && a[i].isDigit())
                ++i;
            while (j < b.size() && b[j].isDigit())
                ++j;
            // Without leading zeros, the longer number is the larger; of equal length, the digits decide.
            QStringView x = QStringView(a).mid(startA, i - startA);
            QStringView y = QStringView(b).mid(startB, j - startB);
            while (x.size() > 1 && x.front() == u'0')
                x = x.mid(1);
            while (y.size() > 1 && y.front() == u'0')
                y = y.mid(1);
            if (x.size() != y.size())
                return x.size() < y.size() ? -1 : 1;
            if (const int c = x.compare(y); c != 0)
                return c;
            continue;
        }
        const QChar x = a[i].toCaseFolded();
        const QChar y = b[j].toCaseFolded();
        if (x != y)
            return x < y ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size() || j < b.size())
        return i < a.size() ? 1 : -1;
    return 0;
}

} // namespace

QDateTime PictureDateTaken(const QString& path) {
    const QByteArray stored = JpegDateTimeOriginal(path);
    const QDateTime taken = QDateTime::fromString(QString::fromLatin1(stored), "yyyy:MM:dd HH:mm:ss");
    if (taken.isValid())
        return taken;
    const QFileInfo info(path);
    return info.exists() ? info.lastModified() : QDateTime();
}

std::vector<int> PictureOrder(const QStringList& paths, TPictureOrder order) {
    std::vector<int> indexes(paths.size());
    std::iota(indexes.begin(), indexes.end(), 0);
    QStringList names;
    for (const QString& path : paths)
        names << QFileInfo(path).fileName();
    const auto byName = [&](int a, int b) {
        if (const int c = CompareNames(names[a], names[b]); c != 0)
            return c < 0;
        return paths[a] < paths[b];
    };
    if (order == TPictureOrder::Name) {
        std::stable_sort(indexes.begin(), indexes.end(), byName);
        return indexes;
    }
    std::vector<QDateTime> dates;
    dates.reserve(paths.size());
    for (const QString& path : paths)
        dates.push_back(PictureDateTaken(path));
    // A picture whose date cannot be read goes last.
    std::stable_sort(indexes.begin(), indexes.end(), [&](int a, int b) {
        if (dates[a].isValid() != dates[b].isValid())
            return dates[a].isValid();
        if (dates[a] != dates[b])
            return dates[a] < dates[b];
        return byName(a, b);
    });
    return indexes;
}

QStringList FolderPictures(const QString& dir, TPictureOrder order) {
    const QDir folder(dir);
    if (!QFileInfo(dir).isDir() || !folder.isReadable())
        throw EGalleryException("The folder " + dir + " cannot be read");
    QStringList filters;
    for (const QString& ext : PictureExtensions())
        filters << "*." + ext; // letter case ignored: IMG_0001.JPG is a picture too
    QStringList paths;
    for (const QFileInfo& file : folder.entryInfoList(filters, QDir::Files | QDir::Readable))
        paths << file.filePath();
    QStringList ordered;
    for (int index : PictureOrder(paths, order))
        ordered << paths[index];
    return ordered;
}
