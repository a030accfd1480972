// A GIF picture's XMP packets, cleaned where they stand. A GIF keeps XMP in an application extension
// ("XMP DataXMP") whose packet is written as raw bytes and followed by a 258-byte trailer that leads any
// reader walking it as sub-blocks to the extension's end, whatever the packet's bytes are; so spaces written
// over a packet's location properties leave the GIF whole.
#include "publish/PublishMetaFormats.h"

#include <cstring>
#include <utility>
#include <vector>

namespace {

const QByteArray kXmpApplication("\x0BXMP DataXMP", 12);
// The trailer after a packet: 0x01, then 0xFF down to 0x00, then the extension's closing 0.
constexpr qsizetype kTrailerSize = 258;
// More blocks than a picture holds (an animation's frames count two or three each).
constexpr int kMaxBlocks = 1 << 20;

void Need(const QByteArray& b, qint64 at, qint64 length) {
    if (at < 0 || length < 0 || at > b.size() || length > b.size() - at)
        throw EMetaStructure("its GIF blocks run past the end of the file");
}

// Whether bytes name a location property anywhere (a packet this cannot follow is judged by this alone).
bool NamesLocation(QByteArrayView bytes) {
    for (const char* token : {":GPS", ":Location", ":City", ":State", ":Country"})
        if (bytes.indexOf(QByteArrayView(token)) >= 0)
            return true;
    return false;
}

// Where the sub-blocks starting at at end (past their closing 0).
qsizetype SkipSubBlocks(const QByteArray& b, qsizetype at) {
    for (;;) {
        Need(b, at, 1);
        const int size = uchar(b[at]);
        ++at;
        if (size == 0)
            return at;
        Need(b, at, size);
        at += size;
    }
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
    Need(b, 0, 13);
    const int screen = uchar(b[10]);
    qsizetype at = 13 + ((screen & 0x80) ? 3 << ((screen & 7) + 1) : 0);
    for (int blocks = 0; at < b.size() && b[at] != 0x3B; ++blocks) {
        if (blocks >= kMaxBlocks)
            throw EMetaStructure("its GIF has too many blocks");
        const uchar introducer = uchar(b[at]);
        if (introducer == 0x2C) {
            // An image: its descriptor, its own colour table, the code size, then its data's sub-blocks.
            Need(b, at, 11);
            const int image = uchar(b[at + 9]);
            at += 10 + ((image & 0x80) ? 3 << ((image & 7) + 1) : 0) + 1;
            at = SkipSubBlocks(b, at);
        } else if (introducer == 0x21) {
            Need(b, at, 2);
            const qsizetype body = at + 2;
            const qsizetype end = SkipSubBlocks(b, body);
            if (uchar(b[at + 1]) == 0xFF && b.mid(body, kXmpApplication.size()) == kXmpApplication) {
                const qsizetype packet = body + kXmpApplication.size();
                // A packet written as sub-blocks of their own could be cut by their sizes anywhere: one
                // with a location is refused, one without is left as it is.
                if (end - packet >= kTrailerSize && EndsWithTrailer(b, end))
                    packets.emplace_back(packet, end - kTrailerSize);
                else if (NamesLocation(QByteArrayView(b.constData() + packet, end - packet)))
                    throw EMetaStructure("its GIF XMP is not laid out as this can clean in place");
            }
            at = end;
        } else {
            throw EMetaStructure("its GIF has a block this does not know");
        }
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

bool CleanGif(QByteArray& b, TPublishMeta rule) {
    bool changed = false;
    for (const auto& [begin, end] : XmpPackets(b)) {
        const TMetaBlock block{b.data() + begin, end - begin};
        changed = (rule == pmOrientationOnly ? EmptyXmp(block) : BlankXmpLocation(block)) || changed;
    }
    return changed;
}

QList<QByteArray> GifXmp(const QByteArray& b) {
    QList<QByteArray> packets;
    for (const auto& [begin, end] : XmpPackets(b))
        packets << b.mid(begin, end - begin);
    return packets;
}
