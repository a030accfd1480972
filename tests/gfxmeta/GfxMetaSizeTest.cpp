// Natural sizes of real metafiles: read from the header alone and as drawn, equal to the expected table.
#include <gtest/gtest.h>

#include <QFile>

#include "MetaTestSupport.h"
#include "gfx/meta/GfxMeta.h"
#include "support/TestSupport.h"

namespace {

struct TSizeCase {
    QString File;
    QSize Expected;
};

void PrintTo(const TSizeCase& c, std::ostream* out) {
    *out << c.File.toStdString();
}

// Rows of expected_sizes.csv:
// file,kind,"declared",exact_width,exact_height,expected_width,expected_height,...
std::vector<TSizeCase> ExpectedSizes() {
    std::vector<TSizeCase> cases;
    QFile csv(MetaData("metafiles/expected_sizes.csv"));
    if (!csv.open(QIODevice::ReadOnly))
        return cases;
    csv.readLine();
    while (!csv.atEnd()) {
        const QString line = QString::fromUtf8(csv.readLine()).trimmed();
        const QString file = line.section(',', 0, 0);
        // The declared bounds are quoted and hold commas: count the fields from the end instead.
        const QString tail = line.section('"', 2, 2);
        const QStringList fields = tail.split(',');
        if (fields.size() >= 5 && !fields[3].isEmpty())
            cases.push_back({file, QSize(fields[3].toInt(), fields[4].toInt())});
    }
    return cases;
}

class MetafileSize : public ::testing::TestWithParam<TSizeCase> {};

TEST_P(MetafileSize, HeaderAndPictureHaveTheExpectedSize) {
    EnsureGuiApplication();
    const QString path = MetaData("metafiles/" + GetParam().File);
    EXPECT_EQ(ReadMetafileSize(path), GetParam().Expected);
    const QImage image = LoadMetafile(path);
    EXPECT_EQ(image.size(), GetParam().Expected);
    EXPECT_EQ(image.format(), QImage::Format_BGR888);
}

INSTANTIATE_TEST_SUITE_P(RealFiles, MetafileSize, ::testing::ValuesIn(ExpectedSizes()));

TEST(MetafileSize, TableCoversEveryRealFileButTheOneWithoutPhysicalSize) {
    EXPECT_EQ(ExpectedSizes().size(), 14u);
}

// Without the placeable header the window extent is read as twips: the same size as the placeable form.
TEST(MetafileSize, WmfWithoutPlaceableHeaderTakesItsWindowExtentAsTwips) {
    EXPECT_EQ(ReadMetafileSize(MetaData("metafiles/wmf/gdi_shapes_noplaceable.wmf")), QSize(400, 300));
    EXPECT_EQ(ReadMetafileSize(MetaData("metafiles/wmf/gdi_shapes.wmf")), QSize(400, 300));
}

TEST(MetafileSize, BigFrameIsDrawnBlankWithoutHanging) {
    const QImage image = LoadMetafile(MetaData("metafiles/emf/pstoedit_bigframe.emf"));
    ASSERT_EQ(image.size(), QSize(6803, 5102));
    // Nothing of the drawing lands inside the frame.
    const QRect probes[] = {QRect(0, 0, 400, 300), QRect(3000, 2500, 400, 300), QRect(6400, 4800, 403, 302)};
    for (const QRect& probe : probes)
        EXPECT_LT(MeanColour(image, probe).Distance(Rgb(255, 255, 255)), 0.5)
            << probe.x() << "," << probe.y();
}

} // namespace
