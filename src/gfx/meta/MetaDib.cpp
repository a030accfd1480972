// Reads DIBs: core and info headers, 1 to 32 bits per pixel, bit fields and RLE4/RLE8, with every size
// checked against the bytes present before anything is allocated.
#include "gfx/meta/MetaDib.h"

#include <bit>
#include <vector>

#include "gfx/GfxError.h"

namespace {

constexpr quint32 kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitfields = 3, kBiAlphaBitfields = 6;

struct TDibInfo {
    qint64 Width = 0, Height = 0;
    bool BottomUp = true;
    int BitCount = 0;
    quint32 Compression = kBiRgb;
    qint64 TableOffset = 0; // colour table position in the info bytes
    qint64 TableEnd = 0;    // where the pixel data start in a packed DIB
    std::vector<QRgb> Palette;
    quint32 Masks[3] = {0, 0, 0};
};

bool ReadHeader(TByteView info, quint32 usage, TDibInfo& d) {
    const qint64 size = info.U32(0);
    qint64 colours = 0;
    int entry = usage == 1 ? 2 : 4;
    if (size == 12 && info.Has(0, 12)) {
        d.Width = info.U16(4);
        d.Height = info.U16(6);
        d.BitCount = info.U16(10);
        entry = usage == 1 ? 2 : 3;
    } else if (size >= 40 && info.Has(0, size)) {
        d.Width = info.I32(4);
        d.Height = info.I32(8);
        d.BitCount = info.U16(14);
        d.Compression = info.U32(16);
        colours = info.U32(32);
    } else {
        return false;
    }
    if (d.Height < 0) {
        d.BottomUp = false;
        d.Height = -d.Height;
    }
    if (d.Width <= 0 || d.Height <= 0 || d.Width * d.Height > kMaxPicturePixels || usage > 1)
        return false;
    switch (d.BitCount) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32:
        break;
    default:
        return false;
    }
    if (usage == 1 && d.BitCount <= 8)
        return false;
    const bool fields = d.Compression == kBiBitfields || d.Compression == kBiAlphaBitfields;
    if (!(d.Compression == kBiRgb || (d.Compression == kBiRle8 && d.BitCount == 8) ||
          (d.Compression == kBiRle4 && d.BitCount == 4) ||
          (fields && (d.BitCount == 16 || d.BitCount == 32))))
        return false;
    if ((d.Compression == kBiRle8 || d.Compression == kBiRle4) && !d.BottomUp)
        return false;
    d.TableOffset = size;
    if (fields) {
        const qint64 at = size >= 52 ? 40 : size;
        for (int i = 0; i < 3; ++i)
            d.Masks[i] = info.U32(at + 4 * i);
        if (size < 52)
            d.TableOffset += d.Compression == kBiAlphaBitfields ? 16 : 12;
    }
    if (d.BitCount <= 8)
        colours = colours == 0 || colours > (1 << d.BitCount) ? (1 << d.BitCount) : colours;
    else if (colours > 256)
        colours = 256; // an optional table for palette devices; only its size matters here
    d.TableEnd = d.TableOffset + colours * entry;
    if (d.BitCount <= 8 && usage == 0) {
        d.Palette.assign(std::size_t(1) << d.BitCount, qRgb(0, 0, 0));
        for (qint64 i = 0; i < colours && info.Has(d.TableOffset + i * entry, entry); ++i) {
            const qint64 at = d.TableOffset + i * entry;
            d.Palette[i] = qRgb(info.U8(at + 2), info.U8(at + 1), info.U8(at));
        }
    }
    return true;
}

int MaskShift(quint32 mask) {
    return mask ? std::countr_zero(mask) : 0;
}

QRgb FromMasks(quint32 value, const quint32* masks) {
    int channel[3];
    for (int i = 0; i < 3; ++i) {
        const quint32 mask = masks[i];
        const int shift = MaskShift(mask);
        const quint32 max = mask >> shift;
        channel[i] = max ? int(((value & mask) >> shift) * 255 / max) : 0;
    }
    return qRgb(channel[0], channel[1], channel[2]);
}

QRgb PixelAt(const TDibInfo& d, TByteView row, qint64 x) {
    switch (d.BitCount) {
    case 1:
        return d.Palette[(row.U8(x >> 3) >> (7 - (x & 7))) & 1];
    case 4:
        return d.Palette[(row.U8(x >> 1) >> ((x & 1) ? 0 : 4)) & 15];
    case 8:
        return d.Palette[row.U8(x)];
    case 16: {
        const quint16 v = row.U16(x * 2);
        if (d.Compression == kBiRgb)
            return qRgb(((v >> 10) & 31) * 255 / 31, ((v >> 5) & 31) * 255 / 31, (v & 31) * 255 / 31);
        return FromMasks(v, d.Masks);
    }
    case 24:
        return qRgb(row.U8(x * 3 + 2), row.U8(x * 3 + 1), row.U8(x * 3));
    default:
        if (d.Compression == kBiRgb)
            return qRgb(row.U8(x * 4 + 2), row.U8(x * 4 + 1), row.U8(x * 4));
        return FromMasks(row.U32(x * 4), d.Masks);
    }
}

QImage DecodeRows(const TDibInfo& d, TByteView bits) {
    const qint64 stride = (d.Width * d.BitCount + 31) / 32 * 4;
    if (!bits.Has(0, stride * d.Height))
        return QImage();
    QImage image(int(d.Width), int(d.Height), QImage::Format_RGB32);
    if (image.isNull())
        return image;
    for (qint64 y = 0; y < d.Height; ++y) {
        const TByteView row = bits.Sub((d.BottomUp ? d.Height - 1 - y : y) * stride, stride);
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(int(y)));
        for (qint64 x = 0; x < d.Width; ++x)
            line[x] = PixelAt(d, row, x);
    }
    return image;
}

// RLE8 and RLE4: runs, end of line, end of bitmap, deltas and absolute runs; everything outside the
// bitmap is dropped and what the data never reach stays at colour index 0.
QImage DecodeRle(const TDibInfo& d, TByteView bits) {
    QImage image(int(d.Width), int(d.Height), QImage::Format_RGB32);
    if (image.isNull())
        return image;
    image.fill(d.Palette[0]);
    const bool four = d.Compression == kBiRle4;
    qint64 x = 0, y = 0, pos = 0;
    auto put = [&](int index) {
        if (x < d.Width && y < d.Height)
            reinterpret_cast<QRgb*>(image.scanLine(int(d.Height - 1 - y)))[x] = d.Palette[index];
        ++x;
    };
    while (pos + 1 < bits.Size() && y < d.Height) {
        const int count = bits.U8(pos), value = bits.U8(pos + 1);
        pos += 2;
        if (count > 0) {
            for (int i = 0; i < count && x < d.Width; ++i)
                put(four ? (i & 1 ? value & 15 : value >> 4) : value);
        } else if (value == 0) {
            x = 0;
            ++y;
        } else if (value == 1) {
            break;
        } else if (value == 2) {
            x += bits.U8(pos);
            y += bits.U8(pos + 1);
            pos += 2;
        } else {
            const qint64 bytes = four ? (value + 1) / 2 : value;
            for (int i = 0; i < value && pos + (four ? i / 2 : i) < bits.Size(); ++i) {
                const int byte = bits.U8(pos + (four ? i / 2 : i));
                put(four ? (i & 1 ? byte & 15 : byte >> 4) : byte);
            }
            pos += bytes + (bytes & 1);
        }
    }
    return image;
}

} // namespace

qint64 DibPixels(TByteView info) {
    TDibInfo d;
    return ReadHeader(info, 0, d) || ReadHeader(info, 1, d) ? d.Width * d.Height : 0;
}

TDib DecodeDib(TByteView info, TByteView bits, quint32 usage) {
    TDibInfo d;
    if (!ReadHeader(info, usage, d))
        return {};
    TDib dib;
    dib.BottomUp = d.BottomUp;
    if (d.Compression == kBiRle8 || d.Compression == kBiRle4)
        dib.Image = DecodeRle(d, bits);
    else
        dib.Image = DecodeRows(d, bits);
    return dib;
}

TDib DecodePackedDib(TByteView dib, quint32 usage) {
    TDibInfo d;
    if (!ReadHeader(dib, usage, d))
        return {};
    return DecodeDib(dib, dib.From(d.TableEnd), usage);
}
