// Publishing a picture under the metadata rule: blanked in place, written anew by Exiv2 for "orientation
// only", and always read back by Exiv2 to be sure no position is left.
#include "publish/PublishMeta.h"
#include "gfx/GfxExiv.h"

#include <mutex>

#include <sys/stat.h>

#include <QFile>
#include <QFileInfo>

#include <exiv2/exiv2.hpp>

#include "common/VlxSaveFile.h"
#include "gallery/Gallery.h"
#include "gfx/GfxLocation.h"
#include "publish/GalleryFiles.h"

namespace {

// Larger pictures than the program reads at all are not cleaned in memory either.
constexpr qint64 kMaxPictureBytes = qint64(1) << 30;

// The tags of a TIFF that describe its pixels: "orientation only" keeps them, the picture needs them.
constexpr quint16 kTiffImageTags[] = {254, 256, 257, 258, 259, 262, 266, 273, 274, 277, 278,
                                      279, 280, 281, 282, 283, 284, 296, 317, 320, 322, 323,
                                      324, 325, 338, 339, 340, 341, 529, 530, 531, 532};

Exiv2::Image::AutoPtr OpenBytes(const QByteArray& bytes) {
    SetUpExiv2();
    Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(
        reinterpret_cast<const Exiv2::byte*>(bytes.constData()), long(bytes.size()));
    image->readMetadata();
    return image;
}

bool IsLocationKey(const std::string& key) {
    return key.find("GPS") != std::string::npos || key.find("Location") != std::string::npos ||
           key == "Xmp.photoshop.City" || key == "Xmp.photoshop.State" || key == "Xmp.photoshop.Country" ||
           key.find("CountryCode") != std::string::npos;
}

// The first position field among the metadata; empty when none. The GPS directory's pointer itself is no
// position.
QString LocationFound(const Exiv2::ExifData& exif, const Exiv2::XmpData& xmp, const Exiv2::IptcData& iptc) {
    for (const Exiv2::Exifdatum& datum : exif)
        if (datum.groupName() == "GPSInfo")
            return QString::fromStdString(datum.key());
    for (const Exiv2::Xmpdatum& datum : xmp)
        if (IsLocationKey(datum.key()))
            return QString::fromStdString(datum.key());
    // A blanked IPTC field is still there, empty.
    for (const Exiv2::Iptcdatum& datum : iptc)
        if (IsIptcLocation(datum.record(), datum.tag()) &&
            QString::fromStdString(datum.toString()).remove(QChar(0)).trimmed().size() > 0)
            return QString::fromStdString(datum.key());
    return {};
}

// A picture's EXIF and XMP as Exiv2 reads them; a HEIF's items are found here, as Exiv2 misses some writers'.
struct TReadMeta {
    Exiv2::ExifData Exif;
    Exiv2::XmpData Xmp;
    Exiv2::IptcData Iptc;
};

TReadMeta ReadMeta(const QByteArray& bytes, TPicKind kind) {
    TReadMeta meta;
    if (kind == TPicKind::Gif) {
        // Exiv2 reads no metadata of a GIF: its packets are read here.
        SetUpExiv2();
        for (const QByteArray& packet : GifXmp(bytes)) {
            Exiv2::XmpData xmp;
            if (Exiv2::XmpParser::decode(xmp, packet.toStdString()) != 0)
                throw EMetaStructure("its XMP cannot be read");
            for (const Exiv2::Xmpdatum& datum : xmp)
                meta.Xmp.add(datum);
        }
        return meta;
    }
    if (kind == TPicKind::Heif) {
        SetUpExiv2();
        const THeifMeta items = HeifMetadata(bytes);
        if (!items.Tiff.isEmpty())
            Exiv2::ExifParser::decode(meta.Exif, reinterpret_cast<const Exiv2::byte*>(items.Tiff.constData()),
                                      uint32_t(items.Tiff.size()));
        if (!items.Xmp.isEmpty() && Exiv2::XmpParser::decode(meta.Xmp, items.Xmp.toStdString()) != 0)
            throw EMetaStructure("its XMP item cannot be read");
    }
    Exiv2::Image::AutoPtr image =
        OpenBytes(kind == TPicKind::Png ? PngWithoutPlainCompressedTexts(bytes) : bytes);
    for (const Exiv2::Exifdatum& datum : image->exifData())
        meta.Exif.add(datum);
    for (const Exiv2::Xmpdatum& datum : image->xmpData())
        meta.Xmp.add(datum);
    meta.Iptc = image->iptcData();
    return meta;
}

// Checks a cleaned picture twice: Exiv2 reads no position from it, and cleaning it again finds nothing. A
// picture the cleaning left unchanged would only be cleaned as it just was.
void CheckClean(const QByteArray& bytes, TPicKind kind, bool cleaned = true) {
    const TReadMeta meta = ReadMeta(bytes, kind);
    if (const QString found = LocationFound(meta.Exif, meta.Xmp, meta.Iptc); !found.isEmpty())
        throw EMetaStructure("it still holds " + found.toStdString() + " where this cannot remove it");
    QByteArray again = bytes;
    if (cleaned && BlankLocation(again, kind))
        throw EMetaStructure("it still holds a location where this cannot remove it");
}

QByteArray ImageBytes(Exiv2::Image& image) {
    Exiv2::BasicIo& io = image.io();
    io.open();
    io.seek(0, Exiv2::BasicIo::beg);
    Exiv2::DataBuf buf = io.read(long(io.size()));
    io.close();
    return QByteArray(reinterpret_cast<const char*>(buf.pData_), buf.size_);
}

// Only the orientation stays (and, in a TIFF, the tags that describe its pixels); the colour profile stays.
QByteArray OrientationOnly(const QByteArray& bytes, TPicKind kind) {
    if (kind == TPicKind::Heif || kind == TPicKind::Png || kind == TPicKind::Gif) {
        QByteArray out = bytes;
        if (kind == TPicKind::Heif)
            CleanHeif(out, true);
        else if (kind == TPicKind::Png)
            PngOrientationOnly(out);
        else
            CleanGif(out, true);
        return out;
    }
    Exiv2::Image::AutoPtr image = OpenBytes(bytes);
    Exiv2::ExifData kept;
    for (const Exiv2::Exifdatum& datum : image->exifData()) {
        const bool imageTag = datum.groupName() == "Image" &&
                              std::find(std::begin(kTiffImageTags), std::end(kTiffImageTags), datum.tag()) !=
                                  std::end(kTiffImageTags);
        if (datum.key() == "Exif.Image.Orientation" || (kind == TPicKind::Tiff && imageTag))
            kept.add(datum);
    }
    image->setExifData(kept);
    image->clearXmpData();
    image->clearXmpPacket();
    image->clearIptcData();
    image->clearComment();
    image->writeMetadata();
    QByteArray out = ImageBytes(*image);
    // Exiv2 leaves a TIFF's own XMP tag as it was.
    if (kind == TPicKind::Tiff)
        if (const TMetaBlock xmp = TiffTagValue({out.data(), out.size()}, 700); xmp.Data)
            EmptyXmp(xmp);
    return out;
}

QString ExceptionText(const std::exception& e) {
    return QString::fromLocal8Bit(e.what()).trimmed();
}

} // namespace

QString CannotCleanMessage(const QString& file, const QString& why) {
    return "Cannot remove the location from " + file + ": " + why +
           "; it was not published (choose \"Keep all metadata\" to publish it as it is)";
}

namespace {

// PublishedBytes in place: bytes become the ones to publish. True when they changed. Cleaning in place spares
// a photo's megabytes a copy when, as for most, nothing is to be removed.
bool Publish(const QString& file, QByteArray& bytes, TPublishMeta rule) {
    const TPicKind kind = PicKindOf(bytes);
    if (rule == pmKeepAll || kind == TPicKind::Other)
        return false;
    try {
        if (rule == pmOrientationOnly) {
            QByteArray out = OrientationOnly(bytes, kind);
            CheckClean(out, kind);
            const bool changed = out != bytes;
            bytes = std::move(out);
            return changed;
        }
        const bool changed = BlankLocation(bytes, kind);
        CheckClean(bytes, kind, changed);
        return changed;
    } catch (const EMetaStructure& e) {
        throw EGalleryException(CannotCleanMessage(file, ExceptionText(e)));
    } catch (const Exiv2::AnyError& e) {
        throw EGalleryException(CannotCleanMessage(file, "its metadata cannot be read: " + ExceptionText(e)));
    } catch (const std::exception& e) {
        // Exiv2 raises standard exceptions too on some damaged files.
        throw EGalleryException(CannotCleanMessage(file, "its metadata cannot be read: " + ExceptionText(e)));
    }
}

} // namespace

QByteArray PublishedBytes(const QString& file, const QByteArray& bytes, TPublishMeta rule) {
    QByteArray out = bytes;
    Publish(file, out, rule);
    return out;
}

void PublishPicture(const QString& source, const QString& dest, TPublishMeta rule, bool evenWhenNewer) {
    if (rule == pmKeepAll)
        return CopyFileOnce(source, dest, evenWhenNewer);
    QFile in(source);
    // A missing source is not copied, as CopyFileOnce does; one too large to clean is refused.
    if (!in.exists())
        return;
    if (in.size() > kMaxPictureBytes)
        throw EGalleryException(CannotCleanMessage(source, "it is too large"));
    if (!in.open(QIODevice::ReadOnly))
        throw EGalleryException("Cannot copy " + source + " to " + dest + ": " + in.errorString());
    // Kinds that carry no location are copied without being read here.
    if (PicKindOf(in.peek(16)) == TPicKind::Other)
        return CopyFileOnce(source, dest, evenWhenNewer);
    QByteArray published = in.readAll();
    in.close();
    if (!Publish(source, published, rule))
        return CopyFileOnce(source, dest, evenWhenNewer);
    // The source itself, or a link to it, under the published name would be written over: never. Nor is any
    // other file written through a link of the user's (a folder that never follows links replaces it).
    struct stat from {};
    struct stat to {};
    const bool sameFile = ::stat(QFile::encodeName(source).constData(), &from) == 0 &&
                          ::stat(QFile::encodeName(dest).constData(), &to) == 0 && from.st_dev == to.st_dev &&
                          from.st_ino == to.st_ino;
    const bool isLink = ::lstat(QFile::encodeName(dest).constData(), &to) == 0 && S_ISLNK(to.st_mode);
    const bool link = isLink && LinksFollowedIn(QFileInfo(dest).absolutePath());
    if (link || (sameFile && !isLink))
        throw EGalleryException(
            CannotCleanMessage(source, (link ? "its published name " + dest + " is a link"
                                             : QString("its copy would be the picture itself")) +
                                           "; choose another output folder"));
    QFile old(dest);
    if (!isLink && old.size() == published.size() && old.open(QIODevice::ReadOnly) &&
        old.readAll() == published)
        return;
    QString error;
    if (!WriteFileAtomically(dest, published, error))
        throw EGalleryException("Cannot copy " + source + " to " + dest + ": " + error);
}

QByteArray JpegWithMetadataOf(const QString& source, const QByteArray& jpeg, TPublishMeta rule) {
    try {
        QFile in(source);
        if (!in.open(QIODevice::ReadOnly))
            throw EGalleryException("Cannot read " + source + ": " + in.errorString());
        const QByteArray bytes = in.readAll();
        const TPicKind kind = PicKindOf(bytes);
        // A GIF's XMP went with none of its copies before: nor does it with a new JPEG.
        const bool none = kind == TPicKind::Other || kind == TPicKind::Gif;
        const TReadMeta from = none ? TReadMeta() : ReadMeta(bytes, kind);
        Exiv2::Image::AutoPtr to = OpenBytes(jpeg);
        Exiv2::ExifData exif;
        Exiv2::XmpData xmp;
        if (rule != pmOrientationOnly) {
            for (const Exiv2::Exifdatum& datum : from.Exif)
                if (datum.groupName() != "Thumbnail" && (rule == pmKeepAll || datum.groupName() != "GPSInfo"))
                    exif.add(datum);
            for (const Exiv2::Xmpdatum& datum : from.Xmp)
                if (rule == pmKeepAll || !IsLocationKey(datum.key()))
                    xmp.add(datum);
        }
        exif["Exif.Image.Orientation"] = uint16_t(1);
        if (xmp.findKey(Exiv2::XmpKey("Xmp.tiff.Orientation")) != xmp.end())
            xmp["Xmp.tiff.Orientation"] = "1";
        to->setExifData(exif);
        to->setXmpData(xmp);
        to->writeMetadata();
        const QByteArray out = ImageBytes(*to);
        if (rule != pmKeepAll)
            CheckClean(out, TPicKind::Jpeg);
        return out;
    } catch (const EMetaStructure& e) {
        throw EGalleryException(CannotCleanMessage(source, ExceptionText(e)));
    } catch (const Exiv2::AnyError& e) {
        throw EGalleryException(
            CannotCleanMessage(source, "its metadata cannot be read: " + ExceptionText(e)));
    }
}
