// Hostile metafiles: extreme coordinates, clip paths, and files that ask for unbounded work or memory.
// Run under the sanitizers, the first two also prove there is no undefined arithmetic and no leak.
#include <gtest/gtest.h>

#include <QDir>

#include "MetaTestSupport.h"
#include "gfx/meta/GfxMeta.h"
#include "support/TestSupport.h"

namespace {

struct THostileCase {
    const char* File;
    bool TooComplex; // refused with "too complex to draw"; else drawn at its size
};

void PrintTo(const THostileCase& c, std::ostream* out) {
    *out << c.File;
}

class HostileMetafile : public ::testing::TestWithParam<THostileCase> {};

TEST_P(HostileMetafile, IsDrawnOrRefusedAsTooComplex) {
    EnsureGuiApplication();
    const QString path = MetaData(QString("hostile/") + GetParam().File);
    try {
        const QImage image = LoadMetafile(path);
        EXPECT_FALSE(GetParam().TooComplex) << "drawn";
        EXPECT_EQ(image.size(), ReadMetafileSize(path));
    } catch (const EGfxException& e) {
        EXPECT_TRUE(GetParam().TooComplex) << e.Message().toStdString();
        EXPECT_TRUE(e.Message().contains(path)) << e.Message().toStdString();
        EXPECT_TRUE(e.Message().contains("too complex to draw")) << e.Message().toStdString();
    }
}

const THostileCase kCases[] = {
    {"emf_extreme_coords.emf", false}, // INT_MIN and INT_MAX in every field of every drawing record
    {"emf_clip_paths.emf", false},     // SELECTCLIPPATH again and again
    {"wmf_many_objects.wmf", false},   // a full object table asked for a free slot 150000 times
    {"emf_fuzz_clip_path_wide.emf",
     false},                           // clip paths millions of pixels wide (2 s before, found by fuzzing)
    {"emf_pattern_brushes.emf", true}, // 60-byte records that each ask for a 10000 x 10000 bitmap
    {"emf_full_fills.emf", true},      // 500 fills of a 100-megapixel picture
    {"emf_clip_regions.emf", true},    // thousands of region records growing the clip
};

INSTANTIATE_TEST_SUITE_P(Files, HostileMetafile, ::testing::ValuesIn(kCases));

TEST(HostileMetafile, TableCoversEveryFile) {
    EXPECT_EQ(QDir(MetaData("hostile")).entryList(QDir::Files).size(), qsizetype(std::size(kCases)));
}

// Deleted slots are found again lowest first, as the records that select them by index expect.
TEST(HostileMetafile, FreedObjectSlotsAreReusedLowestFirst) {
    EnsureGuiApplication();
    TWmfBuilder wmf;
    for (int i = 0; i < 4; ++i) // pens in slots 0 to 3: white, red, green, blue
        wmf.Record(0x02FA, {0, 1, 0,
                            qint16(i == 0   ? 0xFFFF
                                   : i == 1 ? 0x00FF
                                   : i == 2 ? 0xFF00
                                            : 0),
                            qint16(i == 0   ? 0xFF
                                   : i == 3 ? 0xFF
                                            : 0)});
    wmf.Record(0x01F0, {2}).Record(0x01F0, {1});                               // free green, then red
    wmf.Record(0x02FA, {0, 1, 0, 0, 0});                                       // black goes to slot 1
    wmf.Record(0x012D, {1}).Record(0x0214, {0, 50}).Record(0x0213, {100, 50}); // MOVETO, LINETO (y, x)
    TTempDir dir;
    WriteBytes(dir.File("t.wmf"), wmf.Bytes(100, 100));
    const QImage image = LoadMetafile(dir.File("t.wmf"));
    EXPECT_LT(MeanColour(image, QRect(50, 20, 1, 60)).Distance(Rgb(0, 0, 0)), 1);
}

// Huge letters over the whole picture, again and again: the text counts against the drawing budget too.
TEST(HostileMetafile, TextRecordsCountAgainstTheDrawingBudget) {
    EnsureGuiApplication();
    TWmfBuilder wmf;
    wmf.Record(0x02FB, {-4000, 0, 0, 0, 400, 0, 0, 0, 0}, "DejaVu Sans"); // CREATEFONTINDIRECT
    wmf.Record(0x012D, {0});                                              // SELECTOBJECT
    for (int i = 0; i < 200; ++i)
        wmf.Record(0x0521, {2, 0x5757, 0, 0}); // TEXTOUT "WW" at 0, 0
    TTempDir dir;
    WriteBytes(dir.File("t.wmf"), wmf.Bytes(4000, 4000));
    try {
        LoadMetafile(dir.File("t.wmf"));
        ADD_FAILURE() << "drawn";
    } catch (const EGfxException& e) {
        EXPECT_TRUE(e.Message().contains("too complex to draw")) << e.Message().toStdString();
    }
}

} // namespace
