// Metafiles built record by record: bitmap formats, mappings, clip with saved states, arc direction, limits.
#include <gtest/gtest.h>

#include <QtEndian>

#include "MetaTestSupport.h"
#include "gfx/meta/GfxMeta.h"
#include "gfx/meta/MetaDC.h"
#include "support/TestSupport.h"

namespace {

constexpr qint16 kSrcCopyLow = 0x0020, kSrcCopyHigh = 0x00CC;
constexpr qint32 kNullPen = qint32(0x80000008u);

QImage Play(const QByteArray& bytes) {
    EnsureGuiApplication();
    TTempDir dir;
    WriteBytes(dir.File("t.mf"), bytes);
    return LoadMetafile(dir.File("t.mf"));
}

void ExpectColour(const QImage& image, QPoint at, const TMeanColour& expected, const char* what) {
    const TMeanColour actual = MeanColour(image, QRect(at - QPoint(3, 3), QSize(6, 6)));
    EXPECT_LT(actual.Distance(expected), 2) << what << " at " << at.x() << "," << at.y() << ": " << actual;
}

QByteArray Le(std::initializer_list<quint32> values, int bytesEach) {
    QByteArray out;
    for (quint32 v : values)
        for (int i = 0; i < bytesEach; ++i)
            out.append(char((v >> (8 * i)) & 0xFF));
    return out;
}

QByteArray Hex(const char* hex) {
    return QByteArray::fromHex(hex);
}

// BITMAPINFOHEADER of a 2 x 2 DIB.
QByteArray InfoHeader(int height, int bitCount, int compression, int colours, int imageSize = 0) {
    return Le({40, 2, quint32(height)}, 4) + Le({1, quint32(bitCount)}, 2) +
           Le({quint32(compression), quint32(imageSize), 0, 0, quint32(colours), 0}, 4);
}

const QByteArray kPalette4 = Hex("0000ff0000ff0000ff000000ffffff00"); // red, green, blue, white

struct TDibCase {
    const char* Name;
    QByteArray Dib;
    TMeanColour TopLeft, TopRight, BottomLeft, BottomRight;
};

void PrintTo(const TDibCase& c, std::ostream* out) {
    *out << c.Name;
}

const TMeanColour kRed = Rgb(255, 0, 0), kGreen = Rgb(0, 255, 0), kBlue = Rgb(0, 0, 255),
                  kWhite = Rgb(255, 255, 255);

std::vector<TDibCase> DibCases() {
    const QByteArray rle8 = Hex("010201030000010001010001");
    const QByteArray rle4 = Hex("0223000002010001");
    return {
        {"24 bits, bottom-up", InfoHeader(2, 24, 0, 0) + Hex("ff0000ffffff00000000ff00ff000000"), kRed,
         kGreen, kBlue, kWhite},
        {"24 bits, top-down", InfoHeader(-2, 24, 0, 0) + Hex("0000ff00ff000000ff0000ffffff0000"), kRed,
         kGreen, kBlue, kWhite},
        {"32 bits", InfoHeader(2, 32, 0, 0) + Hex("ff000000ffffff000000ff0000ff0000"), kRed, kGreen, kBlue,
         kWhite},
        {"16 bits, 5-5-5", InfoHeader(2, 16, 0, 0) + Le({0x001F, 0x7FFF, 0x7C00, 0x03E0}, 2), kRed, kGreen,
         kBlue, kWhite},
        {"16 bits, 5-6-5 bit fields",
         InfoHeader(2, 16, 3, 0) + Le({0xF800, 0x07E0, 0x001F}, 4) + Le({0x001F, 0xFFFF, 0xF800, 0x07E0}, 2),
         kRed, kGreen, kBlue, kWhite},
        {"8 bits, 4 colours", InfoHeader(2, 8, 0, 4) + kPalette4 + Hex("0203000000010000"), kRed, kGreen,
         kBlue, kWhite},
        {"4 bits, 4 colours", InfoHeader(2, 4, 0, 4) + kPalette4 + Hex("2300000001000000"), kRed, kGreen,
         kBlue, kWhite},
        {"1 bit, red and white", InfoHeader(2, 1, 0, 2) + Hex("0000ff00ffffff00") + Hex("8000000040000000"),
         kRed, kWhite, kWhite, kRed},
        {"RLE8", InfoHeader(2, 8, 1, 4, rle8.size()) + kPalette4 + rle8, kRed, kGreen, kBlue, kWhite},
        {"RLE4", InfoHeader(2, 4, 2, 4, rle4.size()) + kPalette4 + rle4, kRed, kGreen, kBlue, kWhite},
    };
}

class DibFormat : public ::testing::TestWithParam<TDibCase> {};

// STRETCHDIB of a 2 x 2 bitmap onto a 20 x 20 picture: each pixel becomes a 10 x 10 square.
TEST_P(DibFormat, StretchDibDrawsEveryPixelInPlace) {
    const TDibCase& c = GetParam();
    const QImage image =
        Play(TWmfBuilder()
                 .Record(0x0F43, {kSrcCopyLow, kSrcCopyHigh, 0, 2, 2, 0, 0, 20, 20, 0, 0}, c.Dib)
                 .Bytes(20, 20));
    ExpectColour(image, QPoint(5, 5), c.TopLeft, "top left");
    ExpectColour(image, QPoint(15, 5), c.TopRight, "top right");
    ExpectColour(image, QPoint(5, 15), c.BottomLeft, "bottom left");
    ExpectColour(image, QPoint(15, 15), c.BottomRight, "bottom right");
}

INSTANTIATE_TEST_SUITE_P(Records, DibFormat, ::testing::ValuesIn(DibCases()));

// Red brush in slot 0, null pen in slot 1, blue brush in slot 2.
TWmfBuilder WmfWithObjects() {
    TWmfBuilder wmf;
    wmf.Record(0x02FC, {0, 0x00FF, 0, 0}).Record(0x02FA, {5, 0, 0, 0, 0}).Record(0x02FC, {0, 0, 0x00FF, 0});
    return wmf.Record(0x012D, {1});
}

// A window with its y axis pointing up: logical (0,0)-(50,50) is the bottom-left quarter.
TEST(WmfMapping, WindowWithNegativeExtentFlipsThePicture) {
    const QImage image = Play(WmfWithObjects()
                                  .Record(0x020B, {100, 0})
                                  .Record(0x020C, {-100, 100})
                                  .Record(0x012D, {0})
                                  .Record(0x041B, {50, 50, 0, 0})
                                  .Bytes(100, 100));
    ExpectColour(image, QPoint(25, 75), kRed, "bottom left");
    ExpectColour(image, QPoint(25, 25), kWhite, "top left");
    ExpectColour(image, QPoint(75, 75), kWhite, "bottom right");
}

// RESTOREDC brings the clip of the saved state back: the second rectangle is not clipped.
TEST(WmfClip, RestoreDcLiftsTheClipSetAfterSaveDc) {
    const QImage image = Play(WmfWithObjects()
                                  .Record(0x001E, {})
                                  .Record(0x0416, {100, 50, 0, 0})
                                  .Record(0x012D, {0})
                                  .Record(0x041B, {100, 100, 0, 0})
                                  .Record(0x0127, {-1})
                                  .Record(0x012D, {2})
                                  .Record(0x041B, {100, 100, 60, 0})
                                  .Bytes(100, 100));
    ExpectColour(image, QPoint(25, 30), kRed, "clipped red");
    ExpectColour(image, QPoint(75, 30), kWhite, "outside the clip");
    ExpectColour(image, QPoint(75, 80), kBlue, "blue after restore");
}

// Red brush in slot 1 and the null pen, on a 96 x 96 picture whose reference device has 96 dpi.
TEmfBuilder EmfWithRedBrush() {
    TEmfBuilder emf;
    emf.Record(39, {1, 0, 0x0000FF, 0}).Record(37, {1}).Record(37, {kNullPen});
    return emf;
}

struct TMappingCase {
    const char* Name;
    QList<QList<qint32>> Records; // type, then values
    QPoint Red, White;
};

void PrintTo(const TMappingCase& c, std::ostream* out) {
    *out << c.Name;
}

class EmfMapping : public ::testing::TestWithParam<TMappingCase> {};

TEST_P(EmfMapping, RectangleLandsWhereTheMappingSays) {
    TEmfBuilder emf = EmfWithRedBrush();
    for (const QList<qint32>& r : GetParam().Records)
        emf.Record(quint32(r[0]), r.mid(1));
    const QImage image = Play(emf.Bytes(96, 96));
    ExpectColour(image, GetParam().Red, kRed, "inside");
    ExpectColour(image, GetParam().White, kWhite, "outside");
}

INSTANTIATE_TEST_SUITE_P(
    Records, EmfMapping,
    ::testing::Values(
        // 0.01 mm, y up; the viewport origin at the bottom: (0,0)-(1270,1270) is the bottom-left quarter.
        TMappingCase{
            "HiMetric", {{17, 3}, {12, 0, 96}, {43, 0, 0, 1270, 1270}}, QPoint(24, 72), QPoint(24, 24)},
        // Twips, y up: 720 twips are half an inch, 48 pixels.
        TMappingCase{"Twips", {{17, 6}, {12, 0, 96}, {43, 0, 0, 720, 720}}, QPoint(24, 72), QPoint(72, 72)},
        // Isotropic keeps the aspect ratio: the smaller scale (0.48) applies to both axes.
        TMappingCase{"Isotropic",
                     {{17, 7}, {9, 100, 100}, {11, 96, 48}, {43, 0, 0, 100, 100}},
                     QPoint(24, 24),
                     QPoint(72, 24)},
        TMappingCase{"Anisotropic",
                     {{17, 8}, {9, 100, 100}, {11, 96, 48}, {43, 0, 0, 100, 100}},
                     QPoint(72, 24),
                     QPoint(24, 72)},
        // A world transform that scales by 2 after the mapping.
        TMappingCase{"WorldTransform",
                     {{35, 0x40000000, 0, 0, 0x40000000, 0, 0}, {43, 0, 0, 24, 24}},
                     QPoint(40, 40),
                     QPoint(60, 60)},
        // A pie from 0 to 90 degrees: counter-clockwise it is the top-right quarter, clockwise the other
        // three.
        TMappingCase{
            "PieCounterClockwise", {{47, 0, 0, 96, 96, 96, 48, 48, 0}}, QPoint(68, 28), QPoint(28, 68)},
        TMappingCase{
            "PieClockwise", {{57, 2}, {47, 0, 0, 96, 96, 96, 48, 48, 0}}, QPoint(28, 68), QPoint(68, 28)}));

TEST(MetafileLimits, MoreThanAMillionRecordsAreRefused) {
    TWmfBuilder wmf;
    const QByteArray setBkMode = Hex("0400000002010100");
    for (int i = 0; i < 1'000'001; ++i)
        wmf.Raw(setBkMode);
    try {
        Play(wmf.Bytes(10, 10));
        ADD_FAILURE() << "no error";
    } catch (const EGfxException& e) {
        EXPECT_TRUE(e.Message().contains("more than 1000000 records")) << e.Message().toStdString();
    }
}

// Objects beyond the count in the header still get slots of their own: later indexes stay right.
TEST(MetafileLimits, ObjectTableGrowsPastTheHeaderCount) {
    TWmfBuilder wmf;
    for (int i = 0; i < 40; ++i)
        wmf.Record(0x02FC, {0, 0, qint16(i == 39 ? 0x00FF : 0), 0});
    const QImage image = Play(wmf.Record(0x012D, {39}).Record(0x041B, {10, 10, 0, 0}).Bytes(10, 10));
    ExpectColour(image, QPoint(5, 5), kBlue, "brush 39");
}

// 8-bit text of the ANSI and default character sets is Windows-1252, which differs from Latin-1 in
// 0x80..0x9F.
TEST(MetafileText, AnsiTextIsWindows1252) {
    EXPECT_EQ(DecodeAnsiText(QByteArray::fromHex("e4f6fc20c4d6dc20df20e9"), 0),
              QString::fromUtf8("äöü ÄÖÜ ß é"));
    EXPECT_EQ(DecodeAnsiText(QByteArray::fromHex("80939499"), 1), QString::fromUtf8("€“”™"));
}

} // namespace
