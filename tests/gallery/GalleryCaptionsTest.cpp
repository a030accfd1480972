// Captions through the real run: taken from the pictures when placed, given by `--captions`, shown on the
// pages and as their ALT texts; a gallery without captions written as before.
#include <gtest/gtest.h>

#include <QDir>
#include <QTextStream>

#include "cli/VlxCommandLine.h"
#include "gallery/Gallery.h"
#include "gallery/GalleryRun.h"
#include "settings/VlxConfigDir.h"
#include "support/TestSupport.h"

namespace {

class TCaptionRunTest : public testing::Test {
protected:
    void SetUp() override { EnsureGuiApplication(); }
    // exif_description.jpg carries "Harbour at dusk"; plain.jpg carries nothing.
    QStringList Pictures() {
        WriteBytes(FPictures.File("harbour.jpg"), ReadBytes(TestData("gfx/caption/exif_description.jpg")));
        WriteBytes(FPictures.File("plain.jpg"), ReadBytes(TestData("gfx/seeds/seed.jpg")));
        return {FPictures.File("harbour.jpg"), FPictures.File("plain.jpg")};
    }
    int Generate(const QStringList& extra) {
        Err.clear();
        QString out;
        QTextStream outStream(&out);
        QTextStream errStream(&Err);
        const QStringList args =
            QStringList{"generate", "--profile", "default", "--columns", "2", "--out", FOut.Path()} + extra +
            Pictures();
        return RunCommandLine(args, TVeltrixPlaces{FConfig.Path(), FTemp.Path(), {}}, {outStream, errStream});
    }
    // The published name of a picture, whose directory tag is not known beforehand: "harbour" gives
    // "harbour_<tag>.jpg".
    QString Published(const QString& stem) {
        const QStringList found = QDir(FOut.Path()).entryList({stem + "*.jpg"}, QDir::Files);
        EXPECT_EQ(found.size(), 1) << stem.toStdString();
        return found.value(0);
    }
    // A picture's page by its stem, or the table page.
    QString Page(const QString& stem) {
        const QString name = stem == "index" ? "index.html" : Published(stem).chopped(4) + ".html";
        return QString::fromUtf8(ReadBytes(FOut.File(name)));
    }

    TTempDir FPictures, FOut, FConfig, FTemp;
    QString Err;
};

} // namespace

TEST_F(TCaptionRunTest, PictureCaptionShownAndEveryPictureHasAnAltText) {
    ASSERT_EQ(Generate({}), kCliOk) << Err.toStdString();
    const QString harbour = Published("harbour"), plain = Published("plain");
    EXPECT_TRUE(Page("harbour").contains("<img SRC=\"" + harbour + "\" ALT=\"Harbour at dusk\" BORDER=0"));
    EXPECT_TRUE(Page("harbour").contains(R"(<div align="Center">Harbour at dusk</div></td>)"));
    EXPECT_TRUE(Page("plain").contains("<img SRC=\"" + plain + "\" ALT=\"" + plain + "\" BORDER=0"));
    EXPECT_FALSE(Page("plain").contains("Harbour"));
    EXPECT_TRUE(Page("index").contains("<img SRC=\"vl_" + harbour + "\" ALT=\"Harbour at dusk\" BORDER=0"));
    EXPECT_FALSE(Page("index").contains(">Harbour at dusk<")); // under the thumbnails only when asked
}

TEST_F(TCaptionRunTest, CaptionsFileOverridesAndClears) {
    WriteBytes(FPictures.File("captions.txt"),
               "plain.jpg\tA <b>quiet</b> & \"still\" bay\r\nharbour.jpg\t\n\n");
    ASSERT_EQ(Generate({"--captions", FPictures.File("captions.txt")}), kCliOk) << Err.toStdString();
    EXPECT_TRUE(Page("plain").contains(
        R"(<div align="Center">A &lt;b&gt;quiet&lt;/b&gt; &amp; &quot;still&quot; bay</div>)"));
    EXPECT_TRUE(Page("harbour").contains("ALT=\"" + Published("harbour") + '"'));
    EXPECT_FALSE(Page("harbour").contains("Harbour at dusk"));
}

TEST_F(TCaptionRunTest, UnknownNamesAndBadLinesFailBeforeWriting) {
    const QString captions = FPictures.File("captions.txt");
    WriteBytes(captions, "harbor.jpg\tTypo\nplain.jpg\tFine\nnobody.png\tAlso\n");
    EXPECT_EQ(Generate({"--captions", captions}), kCliFailed);
    EXPECT_TRUE(Err.contains(captions + ":1: no picture named \"harbor.jpg\" is in the gallery"))
        << Err.toStdString();
    EXPECT_TRUE(Err.contains(captions + ":3: no picture named \"nobody.png\"")) << Err.toStdString();
    WriteBytes(captions, "plain.jpg\tFine\nharbour.jpg Harbour\n");
    EXPECT_EQ(Generate({"--captions", captions}), kCliFailed);
    EXPECT_TRUE(Err.contains(captions + ":2: no picture name and tab before the caption"))
        << Err.toStdString();
    EXPECT_EQ(Generate({"--captions", FPictures.File("missing.txt")}), kCliFailed);
    EXPECT_TRUE(Err.contains("Cannot read the captions file " + FPictures.File("missing.txt")));
    EXPECT_TRUE(QDir(FOut.Path()).isEmpty());
}

// Without a caption anywhere, nothing of them is written: the pages keep their bytes.
TEST_F(TCaptionRunTest, NoCaptionsNoAltText) {
    WriteBytes(FPictures.File("captions.txt"), "harbour.jpg\t\n");
    ASSERT_EQ(Generate({"--captions", FPictures.File("captions.txt")}), kCliOk) << Err.toStdString();
    for (const char* page : {"index", "harbour", "plain"})
        EXPECT_FALSE(Page(page).contains("ALT=")) << page;
}
