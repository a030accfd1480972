// A GIF's blocks, walked to check its first frame is whole and to find its XMP packets, cleaned where they
// stand. A GIF keeps XMP in an application extension ("XMP DataXMP") whose packet is written as raw bytes and
// followed by a 258-byte trailer that leads any reader walking it as sub-blocks to the extension's end,
// whatever the packet's bytes are; so spaces written over a packet's location properties leave the GIF whole.
#include <utility>
#include <vector>

#include "gfx/GfxLocation.h"
#include "gfx/GfxQtInput.h"

namespace {

const QByteArray kXmpApplication("\x0BXMP DataXMP", 12);
// The trailer after a packet: 0x01, then 0xFF down to 0x00, then the extension's closing 0.
constexpr qsizetype kTrailerSize = 258;
// More blocks than a picture holds (an animation's frames count two or three each).
constexpr int kMaxBlocks = 1 << 20;

qint64 ColourTableBytes(quint8 flags) {
    return (flags & 0x80) ? 3LL << ((flags & 7) + 1) : 0;
}

// The offset after a chain of sub-blocks and its terminator, or -1 when the file ends before.
qint64 SkipSubBlocks(THeaderReader& reader, qint64 at) {
    QByteArray length;
    for (;;) {
        if (!reader.Read(at, 1, length))
            return -1;
        ++at;
        if (length[0] == '\0')
            return at;
        at += quint8(length[0]);
    }
}

// A GIF block after the header: an image (0x2C: descriptor, colour table, code size, then its data as
// sub-blocks) or an extension (0x21, its label, then sub-blocks). Body is where the sub-blocks start, End
// past their closing 0, -1 when the file ends before; both are `at` for any other introducer.
struct TGifBlock {
    int Introducer;
    int Label;
    qint64 Body;
    qint64 End;
};

// The block at `at`; nothing when the file ends before its introducer (or an image's descriptor).
std::optional<TGifBlock> GifBlockAt(THeaderReader& reader, qint64 at) {
    QByteArray head;
    if (!reader.Read(at, 1, head))
        return std::nullopt;
    const int introducer = quint8(head[0]);
    if (introducer == 0x2C) {
        if (!reader.Read(at, 10, head))
            return std::nullopt;
        const qint64 body = at + 10 + ColourTableBytes(quint8(head[9])) + 1;
        return TGifBlock{introducer, -1, body, SkipSubBlocks(reader, body)};
    }
    if (introducer == 0x21) {
        const int label = reader.Read(at + 1, 1, head) ? quint8(head[0]) : -1;
        return TGifBlock{introducer, label, at + 2, SkipSubBlocks(reader, at + 2)};
    }
    return TGifBlock{introducer, -1, at, at};
}

// Whether bytes name a location property anywhere (a packet this cannot follow is judged by this alone).
bool NamesLocation(QByteArrayView bytes) {
    for (const char* token : {":GPS", ":Location", ":City", ":State", ":Country"})
        if (bytes.indexOf(QByteArrayView(token)) >= 0)
            return true;
    return false;
}

bool EndsWithTrailer(const QByteArray& b, qsizetype end) {
    const qsizetype at = end - kTrailerSize;
    if (uchar(b[at]) != 0x01 || b[end - 1] != 0)
        return false;
    for (int i = 0; i < 256; ++i)
        if (uchar(b[at + 1 + i]) != 0xFF - i)
            return false;
    return true;
}

// The XMP packets of a GIF as [begin, end) of the file, found by walking its blocks.
std::vector<std::pair<qsizetype, qsizetype>> WalkedXmpPackets(const QByteArray& b) {
    std::vector<std::pair<qsizetype, qsizetype>> packets;
    // Nothing of a GIF without a packet is read: it is published as it is.
    if (!b.contains(kXmpApplication))
        return packets;
    const EMetaStructure cut("its GIF blocks run past the end of the file");
    if (b.size() < 13)
        throw cut;
    TBytesReader reader(b);
    qsizetype at = 13 + ColourTableBytes(quint8(b[10]));
    for (int blocks = 0; at < b.size() && b[at] != 0x3B; ++blocks) {
        if (blocks >= kMaxBlocks)
            throw EMetaStructure("its GIF has too many blocks");
        const std::optional<TGifBlock> block = GifBlockAt(reader, at);
        if (block && block->Introducer != 0x21 && block->Introducer != 0x2C)
            throw EMetaStructure("its GIF has a block this does not know");
        if (!block || block->End < 0)
            throw cut;
        if (block->Label == 0xFF && b.mid(block->Body, kXmpApplication.size()) == kXmpApplication) {
            const qsizetype packet = block->Body + kXmpApplication.size();
            const qsizetype end = block->End;
            // A packet written as sub-blocks of their own could be cut by their sizes anywhere: one with a
            // location is refused, one without is left as it is.
            if (end - packet >= kTrailerSize && EndsWithTrailer(b, end))
                packets.emplace_back(packet, end - kTrailerSize);
            else if (NamesLocation(QByteArrayView(b.constData() + packet, end - packet)))
                throw EMetaStructure("its GIF XMP is not laid out as this can clean in place");
        }
        at = block->End;
    }
    return packets;
}

// A GIF whose blocks cannot be followed is refused only when it names a location somewhere; otherwise it
// is published as it is, as GIFs always were.
std::vector<std::pair<qsizetype, qsizetype>> XmpPackets(const QByteArray& b) {
    try {
        return WalkedXmpPackets(b);
    } catch (const EMetaStructure&) {
        if (NamesLocation(b))
            throw;
        return {};
    }
}

} // namespace

bool CleanGif(QByteArray& b, bool orientationOnly) {
    bool changed = false;
    for (const auto& [begin, end] : XmpPackets(b)) {
        const TMetaBlock block{b.data() + begin, end - begin};
        changed = (orientationOnly ? EmptyXmp(block) : BlankXmpLocation(block)) || changed;
    }
    return changed;
}

QString GifCutShort(THeaderReader& reader) {
    const QString cut = QStringLiteral("it is cut short: its first frame's data end with the file");
    QByteArray bytes;
    if (!reader.Read(0, 13, bytes) || !bytes.startsWith("GIF8"))
        return QString(); // no header: the decoder says so
    for (qint64 at = 13 + ColourTableBytes(quint8(bytes[10]));;) {
        const std::optional<TGifBlock> block = GifBlockAt(reader, at);
        if (!block)
            return cut;
        if (block->Introducer != 0x21 && block->Introducer != 0x2C)
            return QString(); // the trailer or no GIF block: the decoder decides
        if (block->End < 0)
            return cut;
        if (block->Introducer == 0x2C) // the first frame
            return QString();
        at = block->End;
    }
}

QList<QByteArray> GifXmp(const QByteArray& b) {
    QList<QByteArray> packets;
    for (const auto& [begin, end] : XmpPackets(b))
        packets << b.mid(begin, end - begin);
    return packets;
}
