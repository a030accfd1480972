// The profile record's stored form: field order, sizes and byte order of the profiles file.
#include "settings/VlxProfileU.h"

#include <algorithm>
#include <cassert>

namespace {

// Longest prefix of UTF-8 bytes that fits maxBytes without splitting a character.
QByteArray CutUtf8(const QByteArray& utf8, int maxBytes) {
    if (utf8.size() <= maxBytes)
        return utf8;
    int end = maxBytes;
    // Step back over continuation bytes (10xxxxxx) to the lead byte of the character that does not fit.
    while (end > 0 && (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80)
        --end;
    return utf8.left(end);
}

class TRecordWriter {
public:
    explicit TRecordWriter(QByteArray& out) : FOut(out) {}

    void String(const QString& text, int maxBytes) {
        const QByteArray bytes = CutUtf8(text.toUtf8(), maxBytes);
        FOut.append(static_cast<char>(bytes.size()));
        FOut.append(bytes);
        FOut.append(maxBytes - bytes.size(), '\0');
    }
    void Int(std::int32_t value) {
        const auto bits = static_cast<std::uint32_t>(value);
        for (int shift = 0; shift < 32; shift += 8)
            FOut.append(static_cast<char>((bits >> shift) & 0xFF));
    }
    void Byte(std::uint8_t value) { FOut.append(static_cast<char>(value)); }

private:
    QByteArray& FOut;
};

class TRecordReader {
public:
    explicit TRecordReader(const QByteArray& bytes) : FBytes(bytes) {}

    void String(QString& text, int maxBytes) {
        const int length = std::min<int>(At(FPos), maxBytes);
        text = QString::fromUtf8(FBytes.constData() + FPos + 1, length);
        FPos += 1 + maxBytes;
    }
    void Int(std::int32_t& value) {
        std::uint32_t bits = 0;
        for (int i = 0; i < 4; ++i)
            bits |= std::uint32_t{At(FPos + i)} << (8 * i);
        value = static_cast<std::int32_t>(bits);
        FPos += 4;
    }
    void Byte(std::uint8_t& value) { value = At(FPos++); }
    void Skip(int count) { FPos += count; }

private:
    std::uint8_t At(int pos) const { return static_cast<std::uint8_t>(FBytes[pos]); }

    const QByteArray& FBytes;
    int FPos = 0;
};

// The one list of fields in file order, shared by reading and writing so the two cannot drift apart.
template <class TVisitor, class TRecord> void VisitFields(TVisitor& v, TRecord& r) {
    v.String(r.Name, TProfileRecord::kNameSize);
    v.String(r.BkgFile, TProfileRecord::kBkgFileSize);
    v.Int(r.BkgColor);
    v.Int(r.ThumbWidth);
    v.Int(r.ThumbHeight);
    v.Int(r.ThumbBevel.Size);
    v.Byte(r.ThumbBevel.Style);
    v.Byte(r.ThumbBevel.Intensity);
    v.Int(r.MaskSize);
    v.Byte(r.MaskStyle);
    v.Int(r.ShadowSize);
    v.Int(r.ShadowDistance);
    v.Byte(r.ShadowIntensity);
    v.Int(r.PicWidth);
    v.Int(r.PicHeight);
    v.Int(r.PicBevel.Size);
    v.Byte(r.PicBevel.Style);
    v.Byte(r.PicBevel.Intensity);
    v.String(r.Title, TProfileRecord::kTextSize);
    v.Int(r.TextColor);
    v.Int(r.LinkColor);
    v.Int(r.VLinkColor);
    v.Int(r.ALinkColor);
    v.String(r.TableTitle, TProfileRecord::kTextSize);
    v.Int(r.TableTitleFontSize);
    v.Int(r.TableTitleColor);
    v.Byte(r.TableTitleAlign);
    v.Byte(r.TableAlign);
    v.Int(r.Rows);
    v.Int(r.Columns);
    v.Int(r.CellSpacing);
    v.Byte(r.PicInfo);
    v.Int(r.PicInfoFontSize);
    v.Int(r.PicInfoColor);
    v.Byte(r.PicInfoAlign);
    v.Int(r.LineWidth);
    v.String(r.BackLink, TProfileRecord::kTextSize);
    v.String(r.BackLinkText, TProfileRecord::kTextSize);
    v.Int(r.BackLinkFontSize);
    v.Byte(r.BackLinkAlign);
}

constexpr std::uint8_t kLinkInOrderBit = 1;
constexpr std::uint8_t kFitToWindowBit = 2;
constexpr std::uint8_t kCaptionUnderThumbBit = 4;
constexpr int kPublishMetaShift = 3;
constexpr std::uint8_t kPublishMetaBits = 3 << kPublishMetaShift;

// The rule's stored code swaps its numbers 0 and 1, so that the zero bits of a slot written before it was
// kept read as removing the location.
std::uint8_t SwapZeroOne(std::uint8_t value) {
    return value == 0 ? 1 : value == 1 ? 0 : value;
}
constexpr std::uint8_t kWebSizeBit = 32;
constexpr std::uint8_t kPublishOriginalBit = 64;

void WriteExtras(TRecordWriter& writer, QByteArray& bytes, const TProfileRecord& r) {
    bytes.append(TProfileRecord::kExtrasMark);
    writer.Byte(TProfileRecord::kExtrasVersion);
    writer.Byte((r.LinkInOrder ? kLinkInOrderBit : 0) | (r.FitToWindow ? kFitToWindowBit : 0) |
                (r.CaptionUnderThumb ? kCaptionUnderThumbBit : 0) |
                ((SwapZeroOne(r.PublishMeta) << kPublishMetaShift) & kPublishMetaBits) |
                (r.WebSize ? kWebSizeBit : 0) | (r.PublishOriginal ? kPublishOriginalBit : 0));
    writer.String(r.PrevText, TProfileRecord::kTextSize);
    writer.String(r.NextText, TProfileRecord::kTextSize);
    writer.Int(r.WebMaxSide);
    writer.Int(r.PageRows);
}

// A slot written before the page settings were added holds zeros after the record: no mark, defaults kept.
void ReadExtras(const QByteArray& bytes, TProfileRecord& r) {
    const QByteArray mark(TProfileRecord::kExtrasMark);
    if (bytes.mid(TProfileRecord::kSize, mark.size()) != mark)
        return;
    TRecordReader reader(bytes);
    reader.Skip(TProfileRecord::kSize + mark.size());
    std::uint8_t version = 0;
    reader.Byte(version);
    if (version < 1)
        return;
    std::uint8_t flags = 0;
    reader.Byte(flags);
    r.LinkInOrder = (flags & kLinkInOrderBit) != 0;
    r.FitToWindow = (flags & kFitToWindowBit) != 0;
    r.CaptionUnderThumb = (flags & kCaptionUnderThumbBit) != 0;
    r.PublishMeta = SwapZeroOne((flags & kPublishMetaBits) >> kPublishMetaShift);
    reader.String(r.PrevText, TProfileRecord::kTextSize);
    reader.String(r.NextText, TProfileRecord::kTextSize);
    // Version 1 had no web size: such a profile publishes its pictures as they are, as it did.
    if (version < 2)
        return;
    r.WebSize = (flags & kWebSizeBit) != 0;
    r.PublishOriginal = (flags & kPublishOriginalBit) != 0;
    reader.Int(r.WebMaxSide);
    reader.Int(r.PageRows);
}

} // namespace

void KeepNewerSettings(const QByteArray& stored, QByteArray& slot) {
    const QByteArray mark(TProfileRecord::kExtrasMark);
    const int versionAt = TProfileRecord::kSize + mark.size();
    if (stored.size() < TProfileRecord::kStoredSize || slot.size() < stored.size() ||
        stored.mid(TProfileRecord::kSize, mark.size()) != mark ||
        static_cast<std::uint8_t>(stored[versionAt]) <= TProfileRecord::kExtrasVersion)
        return;
    constexpr std::uint8_t known = kLinkInOrderBit | kFitToWindowBit | kCaptionUnderThumbBit | kPublishMetaBits |
                                   kWebSizeBit | kPublishOriginalBit;
    slot[versionAt] = stored[versionAt];
    slot[versionAt + 1] = static_cast<char>((static_cast<std::uint8_t>(slot[versionAt + 1]) & known) |
                                            (static_cast<std::uint8_t>(stored[versionAt + 1]) & ~known));
    slot.replace(TProfileRecord::kStoredSize, stored.size() - TProfileRecord::kStoredSize,
                 stored.mid(TProfileRecord::kStoredSize));
}

QString CutToField(const QString& text, int maxBytes) {
    const QByteArray utf8 = text.toUtf8();
    if (utf8.size() <= maxBytes)
        return text;
    return QString::fromUtf8(CutUtf8(utf8, maxBytes));
}

QByteArray TProfileRecord::ToBytes() const {
    QByteArray bytes;
    bytes.reserve(kStoredSize);
    TRecordWriter writer(bytes);
    VisitFields(writer, *this);
    assert(bytes.size() == kSize);
    WriteExtras(writer, bytes, *this);
    assert(bytes.size() == kStoredSize);
    return bytes;
}

TProfileRecord TProfileRecord::FromBytes(const QByteArray& bytes) {
    QByteArray padded = bytes.left(kStoredSize);
    padded.append(kStoredSize - padded.size(), '\0');
    TProfileRecord record;
    TRecordReader reader(padded);
    VisitFields(reader, record);
    ReadExtras(padded, record);
    return record;
}
