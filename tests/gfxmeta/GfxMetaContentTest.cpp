// Content of real metafiles by properties: region colours close to reference renderings, and the colours
// that must appear where (fill modes, holes, restored pens, bitmap orientation and palettes).
#include <gtest/gtest.h>

#include "MetaTestSupport.h"
#include "gfx/meta/GfxMeta.h"
#include "support/TestSupport.h"

namespace {

struct TRegionCase {
    const char* File;
    const char* Reference; // in metafiles/ref/
    QRect Region;
    const char* What;
};

void PrintTo(const TRegionCase& c, std::ostream* out) {
    *out << c.File << " " << c.What;
}

QImage Load(const QString& file) {
    EnsureGuiApplication();
    return LoadMetafile(MetaData("metafiles/" + file));
}

class MetafileRegion : public ::testing::TestWithParam<TRegionCase> {};

// Fonts, anti-aliasing and hairlines differ between any two renderers, so regions avoid text and edges.
TEST_P(MetafileRegion, MeanColourIsCloseToTheReference) {
    const TRegionCase& c = GetParam();
    const QImage image = Load(c.File);
    const QImage reference(MetaData(QString("metafiles/ref/") + c.Reference));
    ASSERT_FALSE(reference.isNull()) << c.Reference;
    // Some renderers truncate the size where it rounds up: a pixel less is the same picture.
    ASSERT_LE(std::abs(image.width() - reference.width()) + std::abs(image.height() - reference.height()), 2);
    const TMeanColour ours = MeanColour(image, c.Region), theirs = MeanColour(reference, c.Region);
    EXPECT_LT(ours.Distance(theirs), 24) << "ours " << ours << ", reference " << theirs;
}

constexpr const char* kShapesWmfRef = "gdi_shapes.wmf.inkscape.png";
constexpr const char* kShapesEmfRef = "gdi_shapes.emf.inkscape.png";

const TRegionCase kRegions[] = {
    // gdi_shapes: the same drawing as WMF, as WMF without the placeable header, and as EMF.
    {"wmf/gdi_shapes.wmf", kShapesWmfRef, QRect(30, 30, 100, 60), "red rectangle"},
    {"wmf/gdi_shapes.wmf", kShapesWmfRef, QRect(170, 30, 100, 60), "blue rectangle"},
    {"wmf/gdi_shapes.wmf", kShapesWmfRef, QRect(156, 16, 128, 88), "blue rectangle with its 4 px outline"},
    {"wmf/gdi_shapes.wmf", kShapesWmfRef, QRect(310, 35, 70, 50), "cyan rounded rectangle"},
    {"wmf/gdi_shapes.wmf", kShapesWmfRef, QRect(50, 140, 60, 40), "green ellipse"},
    {"wmf/gdi_shapes.wmf", kShapesWmfRef, QRect(190, 140, 60, 40), "yellow ellipse"},
    {"wmf/gdi_shapes.wmf", kShapesWmfRef, QRect(350, 125, 25, 25), "magenta pie"},
    {"wmf/gdi_shapes.wmf", kShapesWmfRef, QRect(305, 160, 40, 30), "inside the arc"},
    {"wmf/gdi_shapes.wmf", kShapesWmfRef, QRect(170, 215, 60, 60), "square with a hole"},
    {"wmf/gdi_shapes.wmf", kShapesWmfRef, QRect(0, 0, 400, 300), "whole picture"},
    {"wmf/gdi_shapes_noplaceable.wmf", kShapesWmfRef, QRect(30, 30, 100, 60), "red rectangle"},
    {"wmf/gdi_shapes_noplaceable.wmf", kShapesWmfRef, QRect(190, 140, 60, 40), "yellow ellipse"},
    {"wmf/gdi_shapes_noplaceable.wmf", kShapesWmfRef, QRect(0, 0, 400, 300), "whole picture"},
    {"emf/gdi_shapes.emf", kShapesEmfRef, QRect(30, 30, 100, 60), "red rectangle"},
    {"emf/gdi_shapes.emf", kShapesEmfRef, QRect(156, 16, 128, 88), "blue rectangle with its 4 px outline"},
    {"emf/gdi_shapes.emf", kShapesEmfRef, QRect(310, 35, 70, 50), "cyan rounded rectangle"},
    {"emf/gdi_shapes.emf", kShapesEmfRef, QRect(50, 140, 60, 40), "green ellipse"},
    {"emf/gdi_shapes.emf", kShapesEmfRef, QRect(350, 125, 25, 25), "magenta pie"},
    {"emf/gdi_shapes.emf", kShapesEmfRef, QRect(170, 215, 60, 60), "square with a hole"},
    {"emf/gdi_shapes.emf", kShapesEmfRef, QRect(0, 0, 400, 300), "whole picture"},
    // Bitmaps: stretched, cropped, reduced photo, palette ramp, 1-bit checkerboard.
    {"wmf/gdi_bitmaps.wmf", "gdi_bitmaps.wmf.libwmf.png", QRect(10, 10, 140, 86), "stretched photo"},
    {"wmf/gdi_bitmaps.wmf", "gdi_bitmaps.wmf.libwmf.png", QRect(162, 10, 68, 41), "cropped photo"},
    {"wmf/gdi_bitmaps.wmf", "gdi_bitmaps.wmf.libwmf.png", QRect(162, 60, 68, 41), "reduced photo"},
    {"wmf/gdi_bitmaps.wmf", "gdi_bitmaps.wmf.libwmf.png", QRect(10, 104, 10, 36), "ramp, blue end"},
    {"wmf/gdi_bitmaps.wmf", "gdi_bitmaps.wmf.libwmf.png", QRect(44, 104, 10, 36), "ramp, yellow end"},
    {"emf/gdi_bitmaps.emf", "gdi_bitmaps.emf.inkscape.png", QRect(10, 10, 140, 86), "stretched photo"},
    {"emf/gdi_bitmaps.emf", "gdi_bitmaps.emf.inkscape.png", QRect(162, 10, 68, 41), "cropped photo"},
    {"emf/gdi_bitmaps.emf", "gdi_bitmaps.emf.inkscape.png", QRect(162, 60, 68, 41), "reduced photo"},
    {"emf/gdi_bitmaps.emf", "gdi_bitmaps.emf.inkscape.png", QRect(10, 104, 10, 36), "ramp, blue end"},
    {"emf/gdi_bitmaps.emf", "gdi_bitmaps.emf.inkscape.png", QRect(44, 104, 10, 36), "ramp, yellow end"},
    // Office drawings: shapes as polygons (WMF) and as Bezier paths (EMF).
    {"wmf/libreoffice_drawing.wmf", "libreoffice_drawing.wmf.inkscape.png", QRect(30, 30, 100, 60),
     "red rectangle"},
    {"wmf/libreoffice_drawing.wmf", "libreoffice_drawing.wmf.inkscape.png", QRect(185, 30, 100, 60),
     "blue rectangle"},
    {"wmf/libreoffice_drawing.wmf", "libreoffice_drawing.wmf.inkscape.png", QRect(360, 40, 50, 50),
     "cyan circle"},
    {"wmf/libreoffice_drawing.wmf", "libreoffice_drawing.wmf.inkscape.png", QRect(50, 140, 70, 45),
     "green ellipse"},
    {"wmf/libreoffice_drawing.wmf", "libreoffice_drawing.wmf.inkscape.png", QRect(200, 140, 70, 45),
     "yellow ellipse"},
    {"wmf/libreoffice_drawing.wmf", "libreoffice_drawing.wmf.inkscape.png", QRect(370, 160, 40, 40),
     "orange star"},
    {"wmf/libreoffice_drawing.wmf", "libreoffice_drawing.wmf.inkscape.png", QRect(0, 0, 480, 250),
     "upper part"},
    {"emf/libreoffice_drawing.emf", "libreoffice_drawing.emf.emf2svg.png", QRect(30, 30, 100, 60),
     "red rectangle"},
    {"emf/libreoffice_drawing.emf", "libreoffice_drawing.emf.emf2svg.png", QRect(360, 40, 50, 50),
     "cyan circle"},
    {"emf/libreoffice_drawing.emf", "libreoffice_drawing.emf.emf2svg.png", QRect(50, 140, 70, 45),
     "green ellipse"},
    {"emf/libreoffice_drawing.emf", "libreoffice_drawing.emf.emf2svg.png", QRect(200, 140, 70, 45),
     "yellow ellipse"},
    {"emf/libreoffice_drawing.emf", "libreoffice_drawing.emf.emf2svg.png", QRect(370, 160, 40, 40),
     "orange star"},
    {"emf/libreoffice_drawing.emf", "libreoffice_drawing.emf.emf2svg.png", QRect(0, 0, 480, 250),
     "upper part"},
    {"wmf/libreoffice_photo.wmf", "libreoffice_photo.wmf.inkscape.png", QRect(10, 8, 140, 60), "photo"},
    {"emf/libreoffice_photo.emf", "libreoffice_photo.emf.emf2svg.png", QRect(10, 8, 140, 60), "photo"},
    {"wmf/libreoffice_text.wmf", "libreoffice_text.wmf.inkscape.png", QRect(130, 158, 60, 18), "navy box"},
    // Inkscape: every shape a polygon or a path, under a 1200-dpi world transform in the EMF.
    {"wmf/inkscape_shapes.wmf", "inkscape_shapes.wmf.libwmf.png", QRect(30, 30, 100, 60), "red rectangle"},
    {"wmf/inkscape_shapes.wmf", "inkscape_shapes.wmf.libwmf.png", QRect(170, 30, 100, 60), "blue rectangle"},
    {"wmf/inkscape_shapes.wmf", "inkscape_shapes.wmf.libwmf.png", QRect(320, 40, 50, 40), "cyan circle"},
    {"wmf/inkscape_shapes.wmf", "inkscape_shapes.wmf.libwmf.png", QRect(50, 150, 60, 40), "green ellipse"},
    {"wmf/inkscape_shapes.wmf", "inkscape_shapes.wmf.libwmf.png", QRect(0, 0, 400, 230), "upper part"},
    {"emf/inkscape_shapes.emf", "inkscape_shapes.emf.emf2svg.png", QRect(30, 30, 100, 60), "red rectangle"},
    {"emf/inkscape_shapes.emf", "inkscape_shapes.emf.emf2svg.png", QRect(320, 40, 50, 40), "cyan circle"},
    {"emf/inkscape_shapes.emf", "inkscape_shapes.emf.emf2svg.png", QRect(190, 150, 60, 40), "yellow ellipse"},
    {"emf/inkscape_shapes.emf", "inkscape_shapes.emf.emf2svg.png", QRect(0, 0, 401, 230), "upper part"},
    {"wmf/inkscape_polys.wmf", "inkscape_polys.wmf.libwmf.png", QRect(0, 0, 256, 256), "whole picture"},
    {"wmf/inkscape_polys.wmf", "inkscape_polys.wmf.libwmf.png", QRect(0, 0, 128, 128),
     "red triangle quarter"},
    {"wmf/inkscape_polys.wmf", "inkscape_polys.wmf.libwmf.png", QRect(0, 128, 128, 128),
     "square with a hole"},
    {"emf/pstoedit_drawing.emf", "pstoedit_drawing.emf.inkscape.png", QRect(20, 40, 90, 60), "red rectangle"},
    {"emf/pstoedit_drawing.emf", "pstoedit_drawing.emf.inkscape.png", QRect(140, 40, 90, 60),
     "blue rectangle"},
    {"emf/pstoedit_drawing.emf", "pstoedit_drawing.emf.inkscape.png", QRect(30, 150, 80, 60),
     "orange pentagon"},
    {"emf/pstoedit_drawing.emf", "pstoedit_drawing.emf.inkscape.png", QRect(0, 30, 340, 224),
     "below the text"},
};

INSTANTIATE_TEST_SUITE_P(RealFiles, MetafileRegion, ::testing::ValuesIn(kRegions));

} // namespace

namespace {

// Share of the region's pixels that fit a test.
template <typename TTest> double ShareIf(const QImage& image, const QRect& region, TTest fits) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    int hits = 0;
    for (int y = region.top(); y <= region.bottom(); ++y)
        for (int x = region.left(); x <= region.right(); ++x)
            hits += fits(rgb.pixelColor(x, y));
    return double(hits) / (region.width() * region.height());
}

// Share of the region's pixels within 40 of a colour in every channel.
double Share(const QImage& image, const QRect& region, QColor colour) {
    return ShareIf(image, region, [&](QColor c) {
        return std::abs(c.red() - colour.red()) <= 40 && std::abs(c.green() - colour.green()) <= 40 &&
               std::abs(c.blue() - colour.blue()) <= 40;
    });
}

const QColor kCornsilk(0xFF, 0xF8, 0xDC);

class GdiShapes : public ::testing::TestWithParam<const char*> {};

// WINDING fills the pentagram solid, ALTERNATE leaves its inner pentagon hollow; POLYPOLYGON has a hole.
TEST_P(GdiShapes, FillModesAndHoles) {
    const QImage image = Load(GetParam());
    EXPECT_GT(Share(image, QRect(46, 241, 8, 8), QColor(0xFF, 0x80, 0x00)), 0.9) << "winding star centre";
    EXPECT_GT(Share(image, QRect(116, 241, 8, 8), kCornsilk), 0.9) << "alternate star centre";
    EXPECT_GT(Share(image, QRect(192, 237, 16, 16), kCornsilk), 0.9) << "hole";
    EXPECT_GT(Share(image, QRect(172, 217, 8, 8), QColor(0, 0, 255)), 0.9) << "ring";
    EXPECT_GT(Share(image, QRect(360, 125, 10, 10), QColor(0xFF, 0x00, 0xFF)), 0.9) << "pie quarter";
    EXPECT_GT(Share(image, QRect(315, 160, 20, 20), kCornsilk), 0.9) << "inside the arc";
}

// A diagonal cross hatch on a transparent background: green lines with the ground between them.
TEST_P(GdiShapes, HatchLeavesTheGroundBetweenItsLines) {
    const QImage image = Load(GetParam());
    const QRect hatch(254, 219, 52, 52);
    const double green = Share(image, hatch, QColor(0, 0x80, 0)), ground = Share(image, hatch, kCornsilk);
    EXPECT_GT(green, 0.15);
    EXPECT_GT(ground, 0.4);
    EXPECT_GT(green + ground, 0.95);
}

TEST_P(GdiShapes, TextIsDrawnInItsColoursAndBoxes) {
    const QImage image = Load(GetParam());
    EXPECT_GT(Share(image, QRect(56, 206, 56, 17), Qt::black), 0.05) << "GDI TextOut";
    EXPECT_GT(ShareIf(image, QRect(138, 205, 18, 90),
                      [](QColor c) { return c.green() + 40 < std::min(c.red(), c.blue()); }),
              0.03)
        << "rotated 90, purple";
    const QRect box(22, 282, 136, 14);
    EXPECT_GT(Share(image, box, QColor(0, 0, 0x80)), 0.4) << "opaque navy box";
    EXPECT_GT(Share(image, box, QColor(0xFF, 0xFF, 0)), 0.05) << "yellow text in it";
}

INSTANTIATE_TEST_SUITE_P(RealFiles, GdiShapes,
                         ::testing::Values("wmf/gdi_shapes.wmf", "wmf/gdi_shapes_noplaceable.wmf",
                                           "emf/gdi_shapes.emf"));

class GdiBitmaps : public ::testing::TestWithParam<const char*> {};

// Bottom-up rows and the two-entry palette: dark red at the top left of the checkerboard, cells of 10 px.
TEST_P(GdiBitmaps, PalettesAndRowOrder) {
    const QImage image = Load(GetParam());
    const TMeanColour topLeft = MeanColour(image, QRect(66, 104, 6, 6));
    EXPECT_GT(topLeft.Red, 100);
    EXPECT_LT(topLeft.Green, 40);
    EXPECT_GT(MeanColour(image, QRect(76, 104, 6, 6)).Green, 230) << "white cell beside it";
    EXPECT_GT(MeanColour(image, QRect(76, 114, 6, 6)).Red, 100) << "red cell below that";
    const TMeanColour blue = MeanColour(image, QRect(9, 110, 4, 20)),
                      yellow = MeanColour(image, QRect(51, 110, 4, 20));
    EXPECT_GT(blue.Blue, blue.Red + 100) << "ramp starts blue";
    EXPECT_GT(yellow.Red, yellow.Blue + 100) << "ramp ends yellow";
}

INSTANTIATE_TEST_SUITE_P(RealFiles, GdiBitmaps,
                         ::testing::Values("wmf/gdi_bitmaps.wmf", "emf/gdi_bitmaps.emf"));

class OfficeDrawing : public ::testing::TestWithParam<const char*> {};

// The hairline is drawn with the pen RESTOREDC brings back (black), not the green one selected before.
TEST_P(OfficeDrawing, HairlineTakesThePenRestoreBringsBack) {
    const QImage image = Load(GetParam());
    const QRect band(60, 253, 300, 8);
    EXPECT_GT(Share(image, band, Qt::black), 0.08);
    EXPECT_EQ(Share(image, band, QColor(0, 0x80, 0)), 0);
}

INSTANTIATE_TEST_SUITE_P(RealFiles, OfficeDrawing,
                         ::testing::Values("wmf/libreoffice_drawing.wmf", "emf/libreoffice_drawing.emf"));

// Fonts need a GUI application; without one the picture is drawn all the same, without its text.
TEST(MetafileText, WithoutGuiApplicationTextIsLeftOut) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            const QImage image = LoadMetafile(MetaData("metafiles/wmf/gdi_shapes.wmf"));
            const bool noText = Share(image, QRect(56, 206, 56, 17), Qt::black) == 0;
            const bool shapes = Share(image, QRect(30, 30, 100, 60), QColor(0xD0, 0x20, 0x20)) > 0.9;
            std::exit(noText && shapes && image.size() == QSize(400, 300) ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace
