// A table split over several table pages: each page holds its rows and links the others, every picture's page
// leads back to the table page that shows it, and a table on one page is written as it always was.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include "gallery/Gallery.h"
#include "publish/GalleryRun.h"
#include "support/TestSupport.h"

namespace {

// A gallery of 2 columns and 6 rows holding nine small pictures (rows 0 to 4), published under their plain
// names; "index2.jpg" publishes the page "index2.html", which the second table page may not take.
class TTablePagesTest : public testing::Test {
protected:
    void SetUp() override {
        EnsureGuiApplication();
        QStringList files;
        for (const char* name : {"a", "b", "c", "d", "e", "index2", "g", "h", "i"}) {
            files << FPictures.File(QString(name) + ".jpg");
            WriteBytes(files.back(), ReadBytes(TestData("gen/jpeg_baseline_420.jpg")));
        }
        FGallery.SetPlainNames(true);
        FGallery.SetTableSize(2, 6);
        FGallery.Settings.Page.Columns = 2;
        FGallery.Settings.Page.Rows = 6;
        ASSERT_TRUE(FGallery.PlaceFiles(files).empty());
    }

    TRunResult Generate(const TTempDir& out, int pageRows) {
        FGallery.Settings.Page.PageRows = pageRows;
        TGalleryRun run(FGallery);
        run.Threads = 1;
        return run.Run(out.Path());
    }

    TTempDir FPictures;
    TGallery FGallery;
};

QString Text(const TTempDir& dir, const QString& name) {
    return QString::fromUtf8(ReadBytes(dir.File(name)));
}

} // namespace

TEST_F(TTablePagesTest, PagesOfTwoRowsLinkEachOtherAndThePicturesLeadBackToTheirs) {
    TTempDir out;
    const TRunResult result = Generate(out, 2);
    ASSERT_TRUE(result.Ok()) << result.Failure.toStdString();
    // Rows 0-1, 2-3 and 4; the empty row 5 makes no page. The first page is written last.
    const QStringList tables{"index2-2.html", "index3.html", "index.html"};
    EXPECT_EQ(result.Written.mid(result.Written.size() - 3),
              QStringList({out.File("index3.html"), out.File("index2-2.html"), out.File("index.html")}));
    struct TExpected {
        QString Page;
        int Rows;
        QString Links;
    };
    const TExpected expected[] = {
        {"index.html", 2, R"(1 / 3 <a href="index2-2.html">Next</a> <a href="index3.html">Last</a>)"},
        {"index2-2.html", 2,
         R"(<a href="index.html">First</a> <a href="index.html">Previous</a> 2 / 3 )"
         R"(<a href="index3.html">Next</a> <a href="index3.html">Last</a>)"},
        {"index3.html", 1, R"(<a href="index.html">First</a> <a href="index2-2.html">Previous</a> 3 / 3)"}};
    for (const TExpected& page : expected) {
        const QString text = Text(out, page.Page);
        EXPECT_EQ(text.count("<tr>"), page.Rows) << page.Page.toStdString();
        EXPECT_TRUE(text.contains(R"(</table></div><div align="Center">)" + page.Links + "</div><hr"))
            << text.toStdString();
    }
    EXPECT_TRUE(Text(out, "index3.html").contains(R"(href="i.html")"));
    EXPECT_FALSE(Text(out, "index.html").contains(R"(href="i.html")"));

    // Each picture's page leads back (by its link and by Escape) to the table page showing it.
    const std::pair<const char*, const char*> backs[] = {
        {"a.html", "index.html"},         {"d.html", "index.html"},    {"e.html", "index2-2.html"},
        {"index2.html", "index2-2.html"}, {"h.html", "index2-2.html"}, {"i.html", "index3.html"}};
    for (const auto& [picPage, table] : backs) {
        const QString text = Text(out, picPage);
        EXPECT_TRUE(text.contains(QString(R"(<a href="%1"><div align="Right">Return</div></a>)").arg(table)))
            << picPage;
        EXPECT_TRUE(text.contains(QString(R"(up = "%1";)").arg(table))) << picPage;
    }
}

// Off, or a limit the table does not exceed: one table page, every file as an unsplit run writes it.
TEST_F(TTablePagesTest, TableWithinTheLimitIsWrittenAsWithoutOne) {
    TTempDir off, within;
    ASSERT_TRUE(Generate(off, 0).Ok());
    ASSERT_TRUE(Generate(within, 6).Ok());
    const QStringList files = QDir(off.Path()).entryList(QDir::Files, QDir::Name);
    EXPECT_EQ(QDir(within.Path()).entryList(QDir::Files, QDir::Name), files);
    EXPECT_FALSE(files.contains("index3.html"));
    for (const QString& name : files)
        EXPECT_EQ(ReadBytes(within.File(name)), ReadBytes(off.File(name))) << name.toStdString();
    EXPECT_EQ(Text(off, "index.html").count("<tr>"), 6);
    EXPECT_TRUE(Text(off, "i.html").contains(R"(<a href="index.html"><div align="Right">)"));
}
