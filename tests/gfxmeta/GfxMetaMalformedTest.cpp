// Broken, hostile and mislabelled metafiles: each gives a clear error naming the file, or a sound picture.
#include <gtest/gtest.h>

#include <QDir>

#include "MetaTestSupport.h"
#include "gfx/meta/GfxMeta.h"
#include "support/TestSupport.h"

namespace {

enum class TOutcome {
    Reject,        // EGfxException naming the file and the reason, from the header already
    RejectDrawing, // the header is sound: the size reads, drawing fails with the reason
    Seed,          // the seed's picture: the fault is skipped or harmless
    NoPolygon,     // the seed without its triangle: the broken record is skipped
    Partial,       // what comes before the damage: rectangle and ellipse
    SizeOnly,      // a sound picture of the seed's size; the content follows the odd mapping
};

struct TMalformedCase {
    const char* File;
    TOutcome Outcome;
    const char* Reason; // part of the message for Reject
};

void PrintTo(const TMalformedCase& c, std::ostream* out) {
    *out << c.File;
}

class MalformedMetafile : public ::testing::TestWithParam<TMalformedCase> {};

// The seed: red rectangle (20,20)-(150,110), blue ellipse (170,20)-(300,110), green triangle with its
// apex at (85,130) on the base y = 220, all on white, 320 x 240.
void ExpectShapes(const QImage& image, bool triangle) {
    ASSERT_EQ(image.size(), QSize(320, 240));
    EXPECT_LT(MeanColour(image, QRect(40, 40, 90, 50)).Distance(Rgb(255, 0, 0)), 1) << "red rectangle";
    EXPECT_LT(MeanColour(image, QRect(210, 50, 50, 30)).Distance(Rgb(0, 0, 255)), 1) << "blue ellipse";
    EXPECT_LT(MeanColour(image, QRect(250, 180, 60, 50)).Distance(Rgb(255, 255, 255)), 1) << "white ground";
    const TMeanColour inTriangle = MeanColour(image, QRect(70, 190, 30, 20));
    if (triangle)
        EXPECT_LT(inTriangle.Distance(Rgb(0, 160, 0)), 1) << "green triangle";
    else
        EXPECT_LT(inTriangle.Distance(Rgb(255, 255, 255)), 1) << "no triangle";
}

TEST_P(MalformedMetafile, EndsInAClearErrorOrASoundPicture) {
    EnsureGuiApplication();
    const TMalformedCase& c = GetParam();
    const QString path = MetaData(QString("malformed/") + c.File);
    if (c.Outcome == TOutcome::Reject || c.Outcome == TOutcome::RejectDrawing) {
        if (c.Outcome == TOutcome::RejectDrawing) {
            EXPECT_EQ(ReadMetafileSize(path), QSize(320, 240));
        }
        for (int pass = 0; pass < (c.Outcome == TOutcome::Reject ? 2 : 1); ++pass) {
            try {
                pass == 0 ? (void)LoadMetafile(path) : (void)ReadMetafileSize(path);
                ADD_FAILURE() << "no error, pass " << pass;
            } catch (const EGfxException& e) {
                EXPECT_TRUE(e.Message().contains(path)) << e.Message().toStdString();
                EXPECT_TRUE(e.Message().contains(c.Reason)) << e.Message().toStdString();
            }
        }
        return;
    }
    const QImage image = LoadMetafile(path);
    EXPECT_EQ(ReadMetafileSize(path), QSize(320, 240));
    switch (c.Outcome) {
    case TOutcome::Seed:
        ExpectShapes(image, true);
        break;
    case TOutcome::NoPolygon:
        ExpectShapes(image, false);
        break;
    case TOutcome::Partial:
        EXPECT_LT(MeanColour(image, QRect(40, 40, 90, 50)).Distance(Rgb(255, 0, 0)), 1) << "red rectangle";
        break;
    default:
        EXPECT_EQ(image.size(), QSize(320, 240));
        break;
    }
}

const TMalformedCase kCases[] = {
    {"seed.wmf", TOutcome::Seed, ""},
    {"seed.emf", TOutcome::Seed, ""},
    {"empty.wmf", TOutcome::Reject, "the file is empty"},
    {"empty.emf", TOutcome::Reject, "the file is empty"},
    {"wmf_bad_key.wmf", TOutcome::Reject, "not a WMF or EMF metafile"},
    {"wmf_truncated_header.wmf", TOutcome::Reject, "header"},
    {"wmf_inch0.wmf", TOutcome::Reject, "0 units per inch"},
    {"wmf_bbox_empty.wmf", TOutcome::Reject, "empty (0 x 240 pixels)"},
    {"wmf_bbox_inverted.wmf", TOutcome::Seed, ""},
    {"wmf_bbox_huge.wmf", TOutcome::Reject, "6291360 x 6291360 pixels, more than the 100 megapixels allowed"},
    {"wmf_record_size0.wmf", TOutcome::RejectDrawing, "invalid size of 0 words"},
    {"wmf_record_past_end.wmf", TOutcome::Seed, ""},
    {"wmf_no_eof.wmf", TOutcome::Seed, ""},
    {"wmf_polygon_count_huge.wmf", TOutcome::NoPolygon, ""},
    {"wmf_textout_length_past_record.wmf", TOutcome::Seed, ""},
    {"wmf_createfont_short.wmf", TOutcome::Seed, ""},
    {"wmf_selectobject_bad_index.wmf", TOutcome::Seed, ""},
    {"wmf_stretchdib_no_bits.wmf", TOutcome::Seed, ""},
    {"wmf_window_ext_zero.wmf", TOutcome::Seed, ""},
    {"emf_bad_signature.emf", TOutcome::Reject, "not a WMF or EMF metafile"},
    {"emf_header_size8.emf", TOutcome::Reject, "header size 8"},
    {"emf_truncated.emf", TOutcome::Partial, ""},
    {"emf_record_size0.emf", TOutcome::RejectDrawing, "invalid size of 0 bytes"},
    {"emf_record_past_end.emf", TOutcome::Seed, ""},
    {"emf_no_eof.emf", TOutcome::Seed, ""},
    {"emf_frame_huge.emf", TOutcome::Reject, "more than the 100 megapixels allowed"},
    {"emf_frame_empty.emf", TOutcome::Reject, "empty"},
    {"emf_frame_inverted.emf", TOutcome::Seed, ""},
    {"emf_nhandles0.emf", TOutcome::Seed, ""},
    {"emf_selectobject_bad_handle.emf", TOutcome::Seed, ""},
    {"emf_polygon16_count_huge.emf", TOutcome::NoPolygon, ""},
    {"emf_exttextoutw_offsets_past_record.emf", TOutcome::Seed, ""},
    {"emf_stretchdibits_offsets_bad.emf", TOutcome::Seed, ""},
    {"emf_window_ext_zero.emf", TOutcome::SizeOnly, ""},
    // Recognised by content, whatever the extension says.
    {"emf_named.wmf", TOutcome::Seed, ""},
    {"wmf_named.emf", TOutcome::Seed, ""},
};

INSTANTIATE_TEST_SUITE_P(Corpus, MalformedMetafile, ::testing::ValuesIn(kCases));

TEST(MalformedMetafile, CorpusTableCoversEveryFile) {
    EXPECT_EQ(QDir(MetaData("malformed")).entryList(QDir::Files).size(), qsizetype(std::size(kCases)));
}

TEST(MalformedMetafile, MissingFileIsNamedInTheError) {
    const QString path = MetaData("malformed/no_such_file.wmf");
    try {
        LoadMetafile(path);
        ADD_FAILURE() << "no error";
    } catch (const EGfxException& e) {
        EXPECT_TRUE(e.Message().contains(path)) << e.Message().toStdString();
    }
}

} // namespace
