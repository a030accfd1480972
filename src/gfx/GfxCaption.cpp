// A picture's own caption, read from its EXIF, XMP or PNG text metadata.
#include "gfx/GfxCaption.h"
#include "gfx/GfxExiv.h"

#include <algorithm>
#include <iterator>
#include <mutex>

// This exiv2 hands out its images in a std::auto_ptr.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>
#pragma GCC diagnostic pop

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QStringList>

namespace {

// Descriptions cameras fill in by themselves; a gallery would show them under every picture.
const char* const kCameraPlaceholders[] = {"OLYMPUS DIGITAL CAMERA", "SONY DSC", "DIGITAL CAMERA",
                                           "MINOLTA DIGITAL CAMERA", "KONICA MINOLTA DIGITAL CAMERA",
                                           "SAMSUNG DIGITAL CAMERA", "EXIF_JPEG_PICTURE", "DEFAULT"};

// Only kinds that carry such metadata are opened: metadata parsers are large, and the others carry none.
const char* const kMetadataKinds[] = {"jpg", "jpeg", "jpe", "jfif", "png", "webp", "tif", "tiff", "heic", "heif"};

// Reads hold one lock among themselves besides the XMP toolkit's own.
std::mutex& ExivLock() {
    static std::mutex lock;
    return lock;
}

QString Meaningful(const QString& text) {
    const QString caption = CaptionText(text);
    for (const char* placeholder : kCameraPlaceholders)
        if (caption.compare(QLatin1String(placeholder), Qt::CaseInsensitive) == 0)
            return {};
    return caption;
}

// EXIF text has no declared encoding: UTF-8 when it is valid UTF-8, else Latin-1.
QString ExifString(const std::string& bytes) {
    const QByteArray data = QByteArray::fromStdString(bytes);
    QString text = QString::fromUtf8(data);
    if (text.contains(QChar::ReplacementCharacter))
        text = QString::fromLatin1(data);
    return text;
}

// The x-default entry of a language alternative, else its first.
QString XmpText(const Exiv2::XmpData& xmp, const char* key) {
    const auto found = xmp.findKey(Exiv2::XmpKey(key));
    if (found == xmp.end())
        return {};
    if (const auto* alt = dynamic_cast<const Exiv2::LangAltValue*>(&found->value())) {
        const auto it = alt->value_.find("x-default");
        if (it != alt->value_.end())
            return QString::fromStdString(it->second);
        return alt->value_.empty() ? QString() : QString::fromStdString(alt->value_.begin()->second);
    }
    return QString::fromStdString(found->toString());
}

struct TFoundTexts {
    QString XmpTitle;
    QString XmpDescription;
    QString ExifDescription;
};

TFoundTexts ReadExivTexts(const QString& path) {
    TFoundTexts found;
    const std::lock_guard<std::mutex> hold(ExivLock());
    SetUpExiv2();
    try {
        const auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
        image->readMetadata();
        const Exiv2::XmpData& xmp = image->xmpData();
        found.XmpTitle = XmpText(xmp, "Xmp.dc.title");
        found.XmpDescription = XmpText(xmp, "Xmp.dc.description");
        const Exiv2::ExifData& exif = image->exifData();
        const auto description = exif.findKey(Exiv2::ExifKey("Exif.Image.ImageDescription"));
        if (description != exif.end())
            found.ExifDescription = ExifString(description->toString());
    } catch (const std::exception&) {
        // Unreadable metadata: the picture has no caption of its own.
    }
    return found;
}

} // namespace

QString CaptionText(const QString& text) {
    QString line;
    line.reserve(std::min<qsizetype>(text.size(), kMaxCaptionLength));
    for (const QChar ch : text)
        line += ch.isSpace() || ch.category() == QChar::Other_Control ? QChar(' ') : ch;
    line = line.simplified();
    if (line.size() > kMaxCaptionLength) {
        line.truncate(kMaxCaptionLength);
        if (line.back().isHighSurrogate())
            line.chop(1);
    }
    return line;
}

QString PictureCaption(const QString& path) {
    const QString kind = QFileInfo(path).suffix().toLower();
    if (std::none_of(std::begin(kMetadataKinds), std::end(kMetadataKinds),
                     [&kind](const char* known) { return kind == QLatin1String(known); }))
        return {};
    const TFoundTexts exiv = ReadExivTexts(path);
    // PNG text chunks (tEXt, zTXt, iTXt) as Qt's reader finds them before the pixels.
    QString pngTitle, pngDescription;
    if (kind == "png") {
        QImageReader reader(path, "png");
        pngTitle = reader.text("Title");
        pngDescription = reader.text("Description");
    }
    for (const QString& text :
         {exiv.XmpTitle, pngTitle, exiv.XmpDescription, exiv.ExifDescription, pngDescription})
        if (QString caption = Meaningful(text); !caption.isEmpty())
            return caption;
    return {};
}
