// A picture's own caption, read from its EXIF, XMP or PNG text metadata.
#include "gfx/GfxCaption.h"
#include "gfx/GfxExiv.h"

#include <algorithm>
#include <iterator>
#include <mutex>
#include <optional>

// This exiv2 hands out its images in a std::auto_ptr.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>
#pragma GCC diagnostic pop

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <zlib.h>

#include "gfx/GfxQtInput.h"

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

// A PNG's text chunks: keyword, 0, then the text (tEXt, Latin-1); a compression method and zlib data
// (zTXt); or a compression flag and method, a language, 0, a translated keyword, 0 and the UTF-8 text,
// compressed or not (iTXt).
constexpr int kMaxPngChunks = 100000;        // a 100-megapixel PNG in 8 KiB data chunks has about 40,000
constexpr qint64 kTextChunkRead = 64 * 1024; // of a text chunk's data: more than any caption's start
constexpr int kInflatedText = 16 * 1024;     // of a compressed text: beyond what a caption keeps

// The start of a zlib stream's text, no longer than kInflatedText however far it would inflate.
QByteArray InflatedStart(const QByteArray& data) {
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK)
        return {};
    QByteArray out(kInflatedText, Qt::Uninitialized);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    stream.avail_in = uInt(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = uInt(out.size());
    const int rc = inflate(&stream, Z_SYNC_FLUSH);
    out.truncate(rc == Z_OK || rc == Z_STREAM_END || rc == Z_BUF_ERROR ? qsizetype(stream.total_out) : 0);
    inflateEnd(&stream);
    return out;
}

// The text of one text chunk's data when its keyword is the one asked for.
std::optional<QString> PngChunkText(const QByteArray& type, const QByteArray& data,
                                    const QByteArray& keyword) {
    if (!data.startsWith(keyword + '\0'))
        return std::nullopt;
    const QByteArray rest = data.mid(keyword.size() + 1);
    if (type == "tEXt")
        return QString::fromLatin1(rest);
    if (type == "zTXt")
        return rest.startsWith('\0') ? std::optional(QString::fromLatin1(InflatedStart(rest.mid(1))))
                                     : std::nullopt;
    if (rest.size() < 2)
        return std::nullopt;
    const bool compressed = rest[0] != 0;
    const qsizetype language = rest.indexOf('\0', 2);
    const qsizetype translated = language < 0 ? -1 : rest.indexOf('\0', language + 1);
    if (translated < 0)
        return std::nullopt;
    const QByteArray text = rest.mid(translated + 1);
    return QString::fromUtf8(compressed ? InflatedStart(text) : text);
}

struct TPngTexts {
    QString Title;
    QString Description;
};

// The first Title and Description among the text chunks, before the pixels and after them (where some
// editors write them); only text chunks are read, and only their starts.
TPngTexts ReadPngTexts(const QString& path) {
    TPngTexts found;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.read(8) != "\x89PNG\r\n\x1a\n")
        return found;
    THeaderReader reader(file);
    bool haveTitle = false, haveDescription = false;
    qint64 at = 8;
    for (int chunk = 0; chunk < kMaxPngChunks && !(haveTitle && haveDescription); ++chunk) {
        const std::optional<TPngChunk> c = PngChunkAt(reader, at);
        if (!c || c->Type == "IEND")
            break;
        if (c->Type == "tEXt" || c->Type == "zTXt" || c->Type == "iTXt") {
            QByteArray data;
            reader.Read(c->Data, std::min({c->Length, kTextChunkRead, reader.Size() - c->Data}), data);
            if (!haveTitle)
                if (const auto text = PngChunkText(c->Type, data, "Title")) {
                    found.Title = *text;
                    haveTitle = true;
                }
            if (!haveDescription)
                if (const auto text = PngChunkText(c->Type, data, "Description")) {
                    found.Description = *text;
                    haveDescription = true;
                }
        }
        at = c->Next();
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
    const TPngTexts png = kind == "png" ? ReadPngTexts(path) : TPngTexts();
    for (const QString& text :
         {exiv.XmpTitle, png.Title, exiv.XmpDescription, exiv.ExifDescription, png.Description})
        if (QString caption = Meaningful(text); !caption.isEmpty())
            return caption;
    return {};
}
