// Captions through the real run: taken from the pictures when placed, given by `--captions`, shown on the
// pages and as their ALT texts; a gallery without captions written as before.
#include <gtest/gtest.h>

#include <QDir>
#include <QTextStream>

#include "cli/VlxCommandLine.h"
#include "gallery/Gallery.h"
#include "gallery/GalleryCaptions.h"
#include "publish/GalleryRun.h"
#include "settings/VlxConfigDir.h"
#include "support/HostileFiles.h"
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

// Old Mac line ends (CR alone) end lines as LF and CR LF do; a picture given its caption twice (by its name,
// then by its path) is reported with the line, as the other faults are.
TEST_F(TCaptionRunTest, CrLineEndsAndASecondCaptionForOnePicture) {
    const QString captions = FPictures.File("captions.txt");
    WriteBytes(captions, "plain.jpg\tQuiet bay\rharbour.jpg\tBusy harbour\r");
    ASSERT_EQ(Generate({"--captions", captions}), kCliOk) << Err.toStdString();
    EXPECT_TRUE(Page("plain").contains(R"(<div align="Center">Quiet bay</div>)"));
    EXPECT_TRUE(Page("harbour").contains(R"(<div align="Center">Busy harbour</div>)"));
    WriteBytes(captions, "plain.jpg\tQuiet bay\r\r" + FPictures.File("plain.jpg").toUtf8() + "\tAgain\n");
    EXPECT_EQ(Generate({"--captions", captions}), kCliFailed);
    EXPECT_TRUE(Err.contains(captions + ":3: \"" + FPictures.File("plain.jpg") +
                             "\" was given its caption on line 1 already"))
        << Err.toStdString();
}

// A captions file that is a pipe or a device is refused at once, never waited on or read without end.
TEST_F(TCaptionRunTest, CaptionsFileThatIsNoRegularFileIsRefused) {
    MakeFifo(FPictures.File("pipe.txt"));
    MakeZeroLink(FPictures.File("zeros.txt"));
    for (const char* name : {"pipe.txt", "zeros.txt"}) {
        EXPECT_EQ(Generate({"--captions", FPictures.File(name)}), kCliFailed);
        EXPECT_TRUE(Err.contains("Cannot read the captions file " + FPictures.File(name) +
                                 ": it is a pipe or a device, not a regular file"))
            << Err.toStdString();
    }
}

// Matching costs a look-up per line, not one per line and cell: 100,000 lines over 1,000 pictures (all but
// 1,000 naming none) end well within the test's time-out, each line that names no picture reported once.
TEST(Captions, ManyLinesOverManyPicturesTakeLinearWork) {
    TGallery gallery;
    gallery.SetTableSize(100, 10);
    for (int i = 0; i < 1000; ++i) {
        TGalleryCell cell;
        cell.Name = QString("p%1_tag.jpg").arg(i);
        cell.Source = QString("/pictures/p%1.jpg").arg(i);
        gallery.SetCell(i % 100, i / 100, cell);
    }
    std::vector<TCaptionLine> lines;
    for (int i = 0; i < 100000; ++i)
        lines.push_back(
            {i + 1, QString(i < 1000 ? "p%1.jpg" : "q%1.jpg").arg(i), QString("Caption %1").arg(i)});
    const QStringList problems = ApplyCaptions(gallery, lines, "captions.txt");
    EXPECT_EQ(problems.size(), 99000);
    EXPECT_EQ(problems.value(0), "captions.txt:1001: no picture named \"q1000.jpg\" is in the gallery");
    EXPECT_EQ(gallery.Cell(99, 9).Caption, "Caption 999");
}

// Without a caption anywhere, nothing of them is written: the pages keep their bytes.
TEST_F(TCaptionRunTest, NoCaptionsNoAltText) {
    WriteBytes(FPictures.File("captions.txt"), "harbour.jpg\t\n");
    ASSERT_EQ(Generate({"--captions", FPictures.File("captions.txt")}), kCliOk) << Err.toStdString();
    for (const char* page : {"index", "harbour", "plain"})
        EXPECT_FALSE(Page(page).contains("ALT=")) << page;
}
