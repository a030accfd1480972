// Builders of hostile pictures, byte by byte.
#include "GfxHostileMake.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QtEndian>

#include <array>

namespace {

QByteArray Be16(int v) {
    const char b[2] = {char(v >> 8), char(v)};
    return QByteArray(b, 2);
}
QByteArray Be32(quint32 v) {
    return Be16(int(v >> 16)) + Be16(int(v & 0xFFFF));
}
QByteArray Le16(int v) {
    const char b[2] = {char(v), char(v >> 8)};
    return QByteArray(b, 2);
}
QByteArray Le32(quint32 v) {
    return Le16(int(v & 0xFFFF)) + Le16(int(v >> 16));
}

quint32 Crc32(const QByteArray& bytes) {
    static const auto table = [] {
        std::array<quint32, 256> t{};
        for (quint32 n = 0; n < 256; ++n) {
            quint32 c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    quint32 c = 0xFFFFFFFFu;
    for (const char b : bytes)
        c = table[(c ^ quint8(b)) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

QByteArray PngChunk(const QByteArray& type, const QByteArray& data) {
    return Be32(quint32(data.size())) + type + data + Be32(Crc32(type + data));
}

// Bits written most significant first, as JPEG entropy-coded data (0xFF stuffed), padded with ones.
struct TBitWriter {
    QByteArray Bytes;
    int Acc = 0;
    int Count = 0;

    void Put(int bits, int n) {
        for (int i = n - 1; i >= 0; --i) {
            Acc = (Acc << 1) | ((bits >> i) & 1);
            if (++Count == 8) {
                Bytes.append(char(Acc));
                if (Acc == 0xFF)
                    Bytes.append('\0');
                Acc = Count = 0;
            }
        }
    }
    QByteArray Finish() {
        while (Count != 0)
            Put(1, 1);
        return Bytes;
    }
};

QByteArray JpegSegment(int marker, const QByteArray& body) {
    return QByteArray("\xFF") + char(marker) + Be16(int(body.size()) + 2) + body;
}

// A Huffman table with one code, "0", for one symbol.
QByteArray OneCodeTable(int tableClass, int symbol) {
    QByteArray counts(16, '\0');
    counts[0] = 1;
    return JpegSegment(0xC4, QByteArray(1, char(tableClass << 4)) + counts + char(symbol));
}

} // namespace

QByteArray ValidPicture(const char* name) {
    QFile file(QStringLiteral(VELTRIX_TEST_DATA "/gfx/valid/") + QLatin1String(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteWithTrailingZeros(const QString& path, const QByteArray& bytes, qint64 zeros) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size())
        file.resize(bytes.size() + zeros);
}

QByteArray PngWithTextBombs(int chunks) {
    QImage picture(40, 30, QImage::Format_RGB888);
    picture.fill(QColor(200, 120, 40));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "png");
    // Within the PNG library's limit of 8,000,000 bytes for one chunk's text.
    const QByteArray zlib = qCompress(QByteArray(7'900'000, 'A'), 9).mid(4);
    const QByteArray bomb = PngChunk("zTXt", QByteArray("Comment\0\0", 9) + zlib);
    constexpr int kAfterIhdr = 8 + 25;
    return png.left(kAfterIhdr) + bomb.repeated(chunks) + png.mid(kAfterIhdr);
}

QByteArray IconOfPng(const QByteArray& png, int width, int height) {
    return Le16(0) + Le16(1) + Le16(1) + char(width) + char(height) + QByteArray(2, '\0') + Le16(1) +
           Le16(32) + Le32(quint32(png.size())) + Le32(22) + png;
}

QByteArray AnimatedWebp() {
    const QByteArray frame = ValidPicture("kind_photo.webp").mid(12); // its VP8 chunk
    const auto le24 = [](int v) { return Le32(quint32(v)).left(3); };
    const QByteArray size = le24(64 - 1) + le24(40 - 1);
    const QByteArray anmf = le24(0) + le24(0) + size + le24(100) + '\0' + frame;
    const QByteArray body = "WEBP" + ("VP8X" + Le32(10) + "\x02" + QByteArray(3, '\0') + size) +
                            ("ANIM" + Le32(6) + Le32(0xFFFFFFFF) + Le16(0)) +
                            ("ANMF" + Le32(quint32(anmf.size())) + anmf);
    return "RIFF" + Le32(quint32(body.size())) + body;
}

QByteArray ManyScanJpeg(int width, int height, int acScans) {
    const long long blocks = ((width + 7) / 8) * static_cast<long long>((height + 7) / 8);
    QByteArray jpeg("\xFF\xD8");
    jpeg += JpegSegment(0xDB, QByteArray(1, '\0') + QByteArray(64, '\1'));
    jpeg += JpegSegment(0xC2, QByteArray(1, 8) + Be16(height) + Be16(width) + QByteArray("\1\1\x11\0", 4));
    jpeg += OneCodeTable(0, 0x00) + OneCodeTable(1, 0xE0); // DC difference 0; a run of 2^14 + n empty blocks
    TBitWriter dc;
    for (long long i = 0; i < blocks; ++i)
        dc.Put(0, 1);
    jpeg += JpegSegment(0xDA, QByteArray("\1\1\0\0\0\0", 6)) + dc.Finish();
    // Each coefficient alone: its first scan at bit 13, then refined bit by bit down to bit 0.
    for (int scan = 0; scan < acScans; ++scan) {
        const int k = 1 + scan / 14;
        const int step = scan % 14;
        const int ah = step == 0 ? 0 : 14 - step;
        const int al = step == 0 ? 13 : 13 - step;
        TBitWriter ac;
        for (long long left = blocks; left > 0; left -= 32767) {
            ac.Put(0, 1);
            ac.Put(0x3FFF, 14);
        }
        jpeg +=
            JpegSegment(0xDA, QByteArray("\1\1\0", 3) + char(k) + char(k) + char(ah << 4 | al)) + ac.Finish();
    }
    return jpeg + "\xFF\xD9";
}

QByteArray JpegWithExifAfterFrame() {
    QByteArray jpeg = ValidPicture("jpeg_444.jpg");
    const QByteArray tiff =
        QByteArray("MM\0\x2A\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0\x06\0\0\0\0\0\0", 26);
    int at = 2;
    while (at + 4 <= jpeg.size()) {
        const int marker = quint8(jpeg[at + 1]);
        const int next = at + 2 + qFromBigEndian<quint16>(jpeg.constData() + at + 2);
        if (marker >= 0xC0 && marker <= 0xC2)
            return jpeg.insert(next, JpegSegment(0xE1, QByteArray("Exif\0\0", 6) + tiff));
        at = next;
    }
    return {};
}

QByteArray GifWithScreen(int width, int height) {
    QByteArray gif = "GIF89a" + Le16(width) + Le16(height) + QByteArray(3, '\0');
    // One frame of 1 x 1 with a two-colour table; codes clear, 1, end of data at 3 bits.
    gif += "\x2C" + QByteArray(4, '\0') + Le16(1) + Le16(1) + "\x80";
    gif += QByteArray("\0\0\0\xFF\xFF\xFF", 6) + QByteArray("\x02\x02\x4C\x01\x00\x3B", 6);
    return gif;
}

QByteArray CutGif() {
    const QByteArray gif = ValidPicture("kind_two_frames.gif");
    int at = 13 + ((quint8(gif[10]) & 0x80) ? 3 << ((quint8(gif[10]) & 7) + 1) : 0);
    while (at < gif.size() && gif[at] == '\x21') { // extensions: label, then sub-blocks
        at += 2;
        while (at < gif.size() && gif[at] != '\0')
            at += 1 + quint8(gif[at]);
        ++at;
    }
    const int flags = quint8(gif[at + 9]);
    at += 10 + ((flags & 0x80) ? 3 << ((flags & 7) + 1) : 0) + 1; // descriptor, colour table, code size
    return gif.left(at + 1 + quint8(gif[at]) / 2);
}

QByteArray PaletteTiff(int rows) {
    // Header, directory, colour map, then a strip for each row: their offsets and byte counts. 4 bits a
    // pixel.
    constexpr int kW = 40, kH = 30, kEntries = 10, kRowBytes = kW / 2, kColours = 16;
    constexpr int kColourMap = 8 + 2 + 12 * kEntries + 4;
    constexpr int kOffsets = kColourMap + 3 * kColours * 2, kCounts = kOffsets + 4 * kH,
                  kPixels = kCounts + 4 * kH;
    const auto entry = [](int tag, int type, quint32 count, quint32 value) {
        return Le16(tag) + Le16(type) + Le32(count) +
               (type == 3 && count == 1 ? Le16(int(value)) + Le16(0) : Le32(value));
    };
    QByteArray tiff = QByteArray("II*\0", 4) + Le32(8) + Le16(kEntries);
    tiff += entry(256, 3, 1, kW) + entry(257, 3, 1, kH) + entry(258, 3, 1, 4) + entry(259, 3, 1, 1);
    tiff += entry(262, 3, 1, 3) + entry(273, 4, kH, kOffsets) + entry(277, 3, 1, 1) + entry(278, 3, 1, 1);
    tiff += entry(279, 4, kH, kCounts) + entry(320, 3, 3 * kColours, kColourMap) + Le32(0);
    for (int channel = 0; channel < 3; ++channel)
        for (int i = 0; i < kColours; ++i)
            tiff += Le16((channel == 0 ? 16 * i : channel == 1 ? 255 - 16 * i : 128) * 257);
    for (int y = 0; y < kH; ++y)
        tiff += Le32(quint32(kPixels + kRowBytes * y));
    for (int y = 0; y < kH; ++y)
        tiff += Le32(kRowBytes);
    for (int i = 0; i < kRowBytes * rows; ++i)
        tiff += char((i % kRowBytes + i / kRowBytes * 7) & 255);
    return tiff;
}

QByteArray HeicGrid(int rows, int columns, int outW, int outH, int ispeW, int ispeH) {
    // Offsets in valid/kind_photo.heic: the grid's description in idat, its ispe, the tile's base offset
    // in iloc, the meta box, and iref (meta's last box) with its one dimg reference.
    QByteArray heic = ValidPicture("kind_photo.heic");
    constexpr int kMeta = 28, kGrid = 95, kGridIspe = 381, kTileBase = 125, kIref = 431, kDimg = 443;
    const int tiles = rows * columns;
    const int growth = 2 * (tiles - 1);
    heic.replace(kGrid + 2, 6, QByteArray(1, char(rows - 1)) + char(columns - 1) + Be16(outW) + Be16(outH));
    heic.replace(kGridIspe, 8, Be32(quint32(ispeW)) + Be32(quint32(ispeH)));
    const auto grow = [&heic, growth](int at) {
        heic.replace(at, 4, Be32(qFromBigEndian<quint32>(heic.constData() + at) + quint32(growth)));
    };
    grow(kMeta);
    grow(kTileBase);
    grow(kIref);
    QByteArray dimg = Be32(quint32(14 + growth)) + "dimg" + Be16(2) + Be16(tiles);
    for (int i = 0; i < tiles; ++i)
        dimg += Be16(1);
    return heic.replace(kDimg, 14, dimg);
}
