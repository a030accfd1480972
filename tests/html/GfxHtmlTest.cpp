// Gallery pages: the worked pages byte for byte, the table's cells, picture information, failures.
#include "html/GfxHtml.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>

#include "HtmlTestUtil.h"
#include "html/WebFiles.h"
#include "support/HostileFiles.h"

namespace {

const QString kHead = CrLfLines({"<html>", "<head>", R"(<meta name="GENERATOR" content="Quorrin's Veltrix">)",
                                 R"(<meta charset="utf-8">)"});
const QString kInitialBody = R"(<body text="#000000" link="#0000EE" vlink="#551A8B" alink="#0000EE">)";
const QString kCredit = R"(<a href="https://veltrix.example.org/"><div align="Center"><font size=-1>)"
                        R"(This page created with Veltrix</font></div></a></body></html>)";
const QString kThumbCell = R"(<td><a href="a.html"><img SRC="vl_a.jpg" BORDER=0 HEIGHT=120 WIDTH=150></a>)";
const QString kReturn = R"(<hr WIDTH="100%"><a href="index.html"><div align="Right">Return</div></a>)";

// The values the main window gives a table page when it creates it.
void SetInitialValues(TGfxThumbPage& page) {
    page.SetTitle("Pictures - Quorrin's Veltrix");
    page.SetTableTitle("Pictures");
    page.SetCellSpacing(5);
    page.SetPicInfoAlign(haCenter);
    page.SetTableTitleFontSize(2);
    page.SetTableTitleAlign(haCenter);
    page.SetTableAlign(haCenter);
    page.SetBackLink("index.html");
    page.SetBackLinkAlign(haRight);
    page.SetLineWidth(100);
    page.SetBackLinkText("Return");
    page.SetLinkColor(0x00EE0000);
    page.SetVLinkColor(0x008B1A55);
    page.SetALinkColor(0x00EE0000);
    page.SetTextColor(0);
}

} // namespace

// An output directory holding a.jpg (640 x 480, 57,651 bytes) and its thumbnail vl_a.jpg (150 x 120).
class GalleryTest : public testing::Test {
protected:
    void SetUp() override {
        AddPicture("a.jpg", "photo_640x480_57651_bytes.jpg");
        AddPicture("vl_a.jpg", "thumb_150x120.jpg");
        FList.SetBaseDir(FDir.Path());
        FPage.SetThumbList(&FList);
    }
    void AddPicture(const QString& name, const QString& testData) {
        WriteBytes(FDir.File(name), ReadBytes(TestData("html/" + testData)));
    }
    void Entry(const QString& pic, const QString& thumb) {
        TThumbListItem* item = FList.Add();
        item->SetPicName(pic);
        item->SetThumbName(thumb);
    }
    // The text of a page saved to a file, read back as bytes.
    QByteArray Saved(TGfxThumbPage& page) {
        const QString path = FDir.File("page.html");
        page.SaveToFile(path);
        return ReadBytes(path);
    }

    TTempDir FDir;
    TThumbnailList FList;
    TGfxThumbPage FPage;
};

TEST_F(GalleryTest, ConstructedPageWithOneThumbnail) {
    Entry("a.jpg", "vl_a.jpg");
    const QString expected =
        kHead + "\r\n" +
        CrLfLines({"<title></title></head>", "<body>", "<table CELLSPACING=0 CELLPADDING=0>", "<tr>",
                   kThumbCell + "</td></tr></table>" + kCredit});
    EXPECT_TRUE(SameHtml(expected, QString::fromUtf8(Saved(FPage))));
}

TEST_F(GalleryTest, InitialValuesWithAndWithoutPictureInformation) {
    Entry("a.jpg", "vl_a.jpg");
    SetInitialValues(FPage);
    const auto expected = [](const QString& info) {
        return kHead + "\r\n" +
               CrLfLines({"<title>Pictures - Quorrin's Veltrix</title></head>",
                          kInitialBody + R"(<div align="Center"><font size=+2>Pictures</font></div>)",
                          R"(<div align="Center"><table CELLSPACING=5 CELLPADDING=0>)", "<tr>",
                          kThumbCell + info + "</td></tr></table></div>" + kReturn + kCredit});
    };
    EXPECT_TRUE(SameHtml(expected(""), QString::fromUtf8(Saved(FPage))));
    FPage.SetPicInfo(PicInfoBit(piFileName) | PicInfoBit(piPicSize) | PicInfoBit(piFileSize));
    EXPECT_TRUE(
        SameHtml(expected(R"(<div align="Center"><font size=-1>a.jpg<br>640x480 56.3kB</font></div>)"),
                 QString::fromUtf8(Saved(FPage))));
    // Nothing of one generation leaks into the next.
    const QString once = FPage.Text();
    FPage.Generate();
    EXPECT_EQ(FPage.Text(), once);
}

TEST_F(GalleryTest, PicturePageSetUpFromTheTablePage) {
    TGfxPicPage page;
    SetInitialValues(page);
    page.SetRows(1);
    page.SetColumns(1);
    page.SetCellSpacing(0);
    page.SetTableTitle("");
    page.SetPicFile(FDir.File("a.jpg"));
    const QString expected =
        kHead + "\r\n" +
        CrLfLines({"<title>Pictures - Quorrin's Veltrix</title></head>", kInitialBody,
                   R"(<div align="Center"><table CELLSPACING=0 CELLPADDING=0>)", "<tr>",
                   R"(<td><img SRC="a.jpg" BORDER=0 HEIGHT=480 WIDTH=640></td></tr></table></div>)" +
                       kReturn + kCredit});
    EXPECT_TRUE(SameHtml(expected, QString::fromUtf8(Saved(page))));
}

TEST_F(GalleryTest, CopyOfAPageWritesTheSamePage) {
    Entry("a.jpg", "vl_a.jpg");
    SetInitialValues(FPage);
    FPage.Generate();
    TGfxThumbPage copy;
    copy.Assign(FPage);
    copy.Generate();
    EXPECT_TRUE(SameHtml(FPage.Text(), copy.Text()));
}

// Rows x columns against the number of entries; "-" is an empty entry, "x" a missing picture.
struct TableRow {
    int rows;
    int columns;
    const char* entries;
    const char* cells; // per cell: "a" linked thumbnail, "l" lazily loaded, "." empty cell; "|" between rows
};
class GalleryTableTest : public GalleryTest, public testing::WithParamInterface<TableRow> {};

TEST_P(GalleryTableTest, CellsFollowTheEntriesRowByRow) {
    const TableRow& row = GetParam();
    for (const char entry : QByteArray(row.entries))
        entry == '-' ? Entry("", "") : Entry("a.jpg", "vl_a.jpg");
    FPage.SetRows(row.rows);
    FPage.SetColumns(row.columns);
    FPage.Generate();
    QString expected = "\r\n<table CELLSPACING=0 CELLPADDING=0>\r\n<tr>";
    for (const char cell : QByteArray(row.cells)) {
        if (cell == '|')
            expected += "</tr>\r\n<tr>";
        else if (cell == 'l')
            expected +=
                "\r\n" + QString(kThumbCell).replace("WIDTH=150>", "WIDTH=150 loading=\"lazy\">") + "</td>";
        else
            expected += cell == 'a' ? "\r\n" + kThumbCell + "</td>" : QString("\r\n<td>");
    }
    expected += "</tr></table>";
    EXPECT_TRUE(SameHtml("<body>" + expected + kCredit, FPage.Text().mid(FPage.Text().indexOf("<body>"))));
}

INSTANTIATE_TEST_SUITE_P(Entries, GalleryTableTest,
                         testing::Values(TableRow{2, 3, "aaaa", "aaa|a.."}, // fewer entries than cells
                                         TableRow{1, 2, "aaaa", "aa"},      // more entries than cells
                                         TableRow{2, 2, "a-a", "a.|a."},    // an empty entry keeps its place
                                         TableRow{1, 1, "", "."},
                                         // Thumbnails below the first three rows load lazily.
                                         TableRow{5, 2, "aaaaaa-aa", "aa|aa|aa|.l|l."},
                                         TableRow{4, 1, "aaaa", "a|a|a|l"}));

TEST_F(GalleryTest, EntriesBeyondTheTableAreStillMeasured) {
    Entry("a.jpg", "vl_a.jpg");
    Entry("gone.jpg", "vl_gone.jpg");
    FPage.SetRows(1);
    FPage.SetColumns(1);
    EXPECT_EQ(MessageOf<EGfxHtmlException>([&] { FPage.Generate(); }),
              "File: " + FDir.File("gone.jpg") + " not found");
}

struct LinkRow {
    const char* picName;
    const char* href;
};
class GalleryLinkTest : public GalleryTest, public testing::WithParamInterface<LinkRow> {};

TEST_P(GalleryLinkTest, LinksToThePicturesOwnPage) {
    const QString picName = GetParam().picName;
    QDir(FDir.Path()).mkpath("sub.dir");
    AddPicture(picName, "photo_640x480_57651_bytes.jpg");
    Entry(picName, "vl_a.jpg");
    FPage.Generate();
    EXPECT_TRUE(FPage.Text().contains(QString(R"(<a href="%1"><img SRC="vl_a.jpg")").arg(GetParam().href)))
        << FPage.Text().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Names, GalleryLinkTest,
                         testing::Values(LinkRow{"pic.big.jpg", "pic.big.html"},
                                         LinkRow{"readme", "readme.html"},
                                         LinkRow{"sub.dir/readme", "sub.dir/readme.html"},
                                         // Percent-encoded, or read as an escape, an anchor, a query.
                                         LinkRow{"50%41.jpg", "50%2541.html"},
                                         LinkRow{"a#1.jpg", "a%231.html"}, LinkRow{"why?.jpg", "why%3F.html"},
                                         // Read as a scheme, the link would run a script or leave the
                                         // gallery; only the first segment can hold one.
                                         LinkRow{"javascript:alert(1);x.jpg", "./javascript:alert(1);x.html"},
                                         LinkRow{"http:x.jpg", "./http:x.html"},
                                         LinkRow{"sub.dir/a:b", "sub.dir/a:b.html"},
                                         // Dropped by browsers (TAB, LF, CR, a leading space) or raw.
                                         LinkRow{"tab\tlf\ncr\r.jpg", "tab%09lf%0Acr%0D.html"},
                                         LinkRow{" lead\x01\x1f\x7f.jpg", "%20lead%01%1F%7F.html"}));

// Thumbnail, picture and background addresses are encoded the same way, before the markup escape.
TEST_F(GalleryTest, PictureAddressesArePercentEncoded) {
    AddPicture("vl_50%41 #1?&.jpg ", "thumb_150x120.jpg");
    AddPicture("50%41 #1?&.jpg", "photo_640x480_57651_bytes.jpg");
    Entry("a.jpg", "vl_50%41 #1?&.jpg ");
    FPage.SetBackground("c:bg#1.jpg");
    FPage.Generate();
    EXPECT_TRUE(FPage.Text().contains(R"(<body background="./c:bg%231.jpg">)")) << FPage.Text().toStdString();
    EXPECT_TRUE(FPage.Text().contains(R"(<img SRC="vl_50%2541 %231%3F&amp;.jpg%20" )"))
        << FPage.Text().toStdString();
    TGfxPicPage page;
    page.SetPicFile(FDir.File("50%41 #1?&.jpg"));
    page.Generate();
    EXPECT_TRUE(page.Text().contains(R"(<img SRC="50%2541 %231%3F&amp;.jpg" BORDER=0 HEIGHT=480 WIDTH=640>)"))
        << page.Text().toStdString();
}

// Browsers show no metafile: the page shows its PNG rendering beside it, at the metafile's size.
TEST_F(GalleryTest, MetafilePageShowsItsRendering) {
    AddPicture("chart_da.wmf", "seed.wmf");
    TGfxPicPage page;
    page.SetPicFile(FDir.File("chart_da.wmf"));
    page.Generate();
    EXPECT_TRUE(page.Text().contains(R"(<img SRC="chart_da.wmf.png" BORDER=0 HEIGHT=240 WIDTH=320>)"))
        << page.Text().toStdString();
}

struct InfoRow {
    const char* picture;
    TPicInfo info;
    const char* caption;
};
class GalleryInfoTest : public GalleryTest, public testing::WithParamInterface<InfoRow> {};

TEST_P(GalleryInfoTest, InformationLinesUnderTheThumbnail) {
    AddPicture("p.bmp", GetParam().picture);
    Entry("p.bmp", "vl_a.jpg");
    FPage.SetPicInfo(GetParam().info);
    FPage.Generate();
    const QString expected = QString("</a><font size=-1>%1</font></td>").arg(GetParam().caption);
    EXPECT_TRUE(FPage.Text().contains(expected)) << FPage.Text().toStdString();
}

constexpr TPicInfo kName = PicInfoBit(piFileName);
constexpr TPicInfo kPicSize = PicInfoBit(piPicSize);
constexpr TPicInfo kFileSize = PicInfoBit(piFileSize);
INSTANTIATE_TEST_SUITE_P(
    Items, GalleryInfoTest,
    testing::Values(InfoRow{"bmp_1x1_51_bytes.bmp", kFileSize, "0.0kB"},
                    InfoRow{"bmp_1x1_256_bytes.bmp", kFileSize, "0.3kB"}, // a half rounds up
                    InfoRow{"photo_640x480_57651_bytes.jpg", kFileSize, "56.3kB"},
                    InfoRow{"photo_640x480_57651_bytes.jpg", kPicSize, "640x480"},
                    InfoRow{"photo_640x480_57651_bytes.jpg", kName, "p.bmp"},
                    InfoRow{"bmp_1x1_256_bytes.bmp", kName | kFileSize, "p.bmp<br>0.3kB"},
                    InfoRow{"bmp_24bpp.bmp", kName | kPicSize, "p.bmp<br>161x100"}));

TEST_F(GalleryTest, FileSizeUsesTheLocalesDecimalSeparator) {
    Entry("a.jpg", "vl_a.jpg");
    FPage.SetPicInfo(kFileSize);
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    FPage.Generate();
    QLocale::setDefault(previous);
    EXPECT_TRUE(FPage.Text().contains("<font size=-1>56,3kB</font>"));
}

TEST_F(GalleryTest, BmpPictureWithAJpegThumbnailNamedBmp) {
    // Thumbnails keep their source's extension while holding JPEG data.
    AddPicture("logo_da.bmp", "bmp_24bpp.bmp");
    AddPicture("vl_logo_da.bmp", "thumb_150x120.jpg");
    Entry("logo_da.bmp", "vl_logo_da.bmp");
    FPage.SetPicInfo(kPicSize);
    FPage.Generate();
    EXPECT_TRUE(FPage.Text().contains(R"(<td><a href="logo_da.html"><img SRC="vl_logo_da.bmp" BORDER=0 )"
                                      R"(HEIGHT=120 WIDTH=150></a><font size=-1>161x100</font></td>)"))
        << FPage.Text().toStdString();
}

TEST_F(GalleryTest, BackLinkLeftOutOnceItIsEmptied) {
    SetInitialValues(FPage);
    FPage.Generate();
    EXPECT_TRUE(FPage.Text().contains(kReturn));
    FPage.SetBackLink("");
    FPage.Generate();
    EXPECT_FALSE(FPage.Text().contains("Return"));
    EXPECT_TRUE(FPage.Text().contains(R"(<hr WIDTH="100%"><a href="https://veltrix.example.org/">)"));
    // A typed address keeps its characters, except the quote that would end the attribute.
    FPage.SetBackLink(R"(../a&b "x".html)");
    FPage.Generate();
    EXPECT_TRUE(
        FPage.Text().contains(R"(<a href="../a&b &quot;x&quot;.html"><div align="Right">Return</div></a>)"));
}

struct RuleRow {
    int lineWidth;
    const char* rule; // "" for none
};
class GalleryRuleTest : public GalleryTest, public testing::WithParamInterface<RuleRow> {};

TEST_P(GalleryRuleTest, RuleWidthIsAClampedPercentage) {
    FPage.SetLineWidth(GetParam().lineWidth);
    FPage.Generate();
    EXPECT_TRUE(FPage.Text().contains("</table>" + QString(GetParam().rule) + "<a href=\"https:"));
}

INSTANTIATE_TEST_SUITE_P(Widths, GalleryRuleTest,
                         testing::Values(RuleRow{0, ""}, RuleRow{50, R"(<hr WIDTH="50%">)"},
                                         RuleRow{150, R"(<hr WIDTH="100%">)"}, RuleRow{-3, ""}));

TEST_F(GalleryTest, EmptyTableTitleWritesNothingBeforeTheTable) {
    SetInitialValues(FPage);
    FPage.SetTableTitle("");
    FPage.Generate();
    EXPECT_TRUE(FPage.Text().contains(kInitialBody + "\r\n<div align=\"Center\"><table"));
}

TEST_F(GalleryTest, ClearedListGivesEmptyCells) {
    Entry("a.jpg", "vl_a.jpg");
    FPage.Generate();
    FList.Clear();
    FPage.Generate();
    EXPECT_TRUE(FPage.Text().contains("<tr>\r\n<td></tr></table>"));
}

// ---- failures: nothing is written under the target name

TEST_F(GalleryTest, MissingPictureOrThumbnailLeavesTheTargetUntouched) {
    const QString target = FDir.File("index.html");
    WriteBytes(target, "old page");
    Entry("a.jpg", "vl_gone.jpg");
    EXPECT_EQ(MessageOf<EGfxHtmlException>([&] { FPage.SaveToFile(target); }),
              "File: " + FDir.File("vl_gone.jpg") + " not found");
    EXPECT_EQ(ReadBytes(target), "old page");

    TGfxPicPage page;
    page.SetPicFile(FDir.File("gone.jpg"));
    const QString pictureTarget = FDir.File("gone.html");
    EXPECT_EQ(MessageOf<EGfxHtmlException>([&] { page.SaveToFile(pictureTarget); }),
              "File: " + FDir.File("gone.jpg") + " not found");
    EXPECT_FALSE(QFile::exists(pictureTarget));
    EXPECT_EQ(QDir(FDir.Path()).entryList(QDir::Files).size(), 3) << "no temporary file left behind";
}

TEST_F(GalleryTest, UncreatableTargetNamesThePath) {
    for (const auto& [target, why] :
         {std::pair(FDir.File("no such dir/index.html"), "No such file or directory"),
          std::pair(FDir.Path(), "it is a folder")}) {
        EXPECT_EQ(MessageOf<EGfxHtmlException>([&] { FPage.SaveToFile(target); }),
                  "Cannot create file " + target + ": " + why);
    }
}

// A page that cannot be written says why: on a full disk, that it is full and which folder.
TEST_F(GalleryTest, PageOnAFullDiskSaysWhy) {
    TTinyDisk disk;
    if (!disk.Mounted())
        GTEST_SKIP() << "mounting a tmpfs needs root";
    disk.Fill();
    EXPECT_EQ(MessageOf<EGfxHtmlException>([&] { FPage.SaveToFile(disk.File("index.html")); }),
              "Cannot write file " + disk.File("index.html") +
                  ": no space left on the device of the folder " + QDir::cleanPath(disk.Path()));
}

TEST_F(GalleryTest, SavingReplacesAnExistingPage) {
    const QString target = FDir.File("index.html");
    WriteBytes(target, QByteArray(5000, 'x'));
    FPage.SaveToFile(target);
    EXPECT_EQ(ReadBytes(target), FPage.Text().toUtf8());
}

// A name with markup characters stays text: parsed by Python's HTML parser, it comes back unchanged.
TEST_F(GalleryTest, MarkupCharactersInNamesStayText) {
    const QString name = QString::fromUtf8(R"(a<b>&c"d é.jpg)");
    const QString thumb = "vl_" + name;
    AddPicture(name, "photo_640x480_57651_bytes.jpg");
    AddPicture(thumb, "thumb_150x120.jpg");
    Entry(name, thumb);
    FPage.SetPicInfo(kName);
    FPage.SetBackground(QString::fromUtf8(R"(bg&<">.jpg)"));
    const QString target = FDir.File("index.html");
    FPage.SaveToFile(target);

    const char* script = R"PY(
import json, sys
from html.parser import HTMLParser
class Page(HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.tags, self.attrs, self.text = [], [], []
    def handle_starttag(self, tag, attrs):
        self.tags.append(tag)
        self.attrs += [[tag, k, v] for k, v in attrs]
    def handle_data(self, data):
        self.text.append(data)
page = Page()
page.feed(open(sys.argv[1], encoding="utf-8").read())
page.close()
print(json.dumps({"tags": page.tags, "attrs": page.attrs, "text": page.text}))
)PY";
    QProcess python;
    python.start(VELTRIX_PYTHON, {"-c", script, target});
    ASSERT_TRUE(python.waitForFinished(120000)) << python.errorString().toStdString();
    ASSERT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    const QJsonObject parsed = QJsonDocument::fromJson(python.readAllStandardOutput()).object();

    const QStringList expectedTags = {"html", "head", "meta", "meta", "title", "body", "table", "tr",
                                      "td",   "a",    "img",  "font", "a",     "div",  "font"};
    QStringList tags;
    for (const QJsonValue& tag : parsed["tags"].toArray())
        tags << tag.toString();
    EXPECT_EQ(tags, expectedTags);
    const QJsonArray attrs = parsed["attrs"].toArray();
    const auto hasAttr = [&](const QString& tag, const QString& attr, const QString& value) {
        return attrs.contains(QJsonArray{tag, attr, value});
    };
    EXPECT_TRUE(hasAttr("img", "src", thumb));
    EXPECT_TRUE(hasAttr("a", "href", QString::fromUtf8(R"(a<b>&c"d é.html)")));
    EXPECT_TRUE(hasAttr("body", "background", QString::fromUtf8(R"(bg&<">.jpg)")));
    EXPECT_TRUE(parsed["text"].toArray().contains(name));
}

// Previous and next links and the fit to the window on a picture's page; off, the page as before.
struct PicPageRow {
    const char* label;
    bool linkInOrder;
    bool fit;
    const char* prevPage;
    const char* nextPage;
    const char* head;  // written between the charset and the title
    const char* links; // written between the rule and the back link
    const char* keys;  // the targets line of the keys' script; nullptr for no script
};
class GalleryPicPageTest : public GalleryTest, public testing::WithParamInterface<PicPageRow> {};

TEST_P(GalleryPicPageTest, LinksAndFitAsSet) {
    const PicPageRow& row = GetParam();
    TGfxPicPage page;
    SetInitialValues(page);
    page.SetCellSpacing(0);
    page.SetTableTitle("");
    page.SetPicFile(FDir.File("a.jpg"));
    page.SetLinkInOrder(row.linkInOrder);
    page.SetFitToWindow(row.fit);
    page.SetPrevText("Previous");
    page.SetNextText("Next");
    page.SetPrevPage(row.prevPage);
    page.SetNextPage(row.nextPage);
    const QString expected =
        kHead + row.head + "\r\n" +
        CrLfLines({"<title>Pictures - Quorrin's Veltrix</title></head>", kInitialBody,
                   R"(<div align="Center"><table CELLSPACING=0 CELLPADDING=0>)", "<tr>",
                   R"(<td><img SRC="a.jpg" BORDER=0 HEIGHT=480 WIDTH=640></td></tr></table></div>)"
                   R"(<hr WIDTH="100%">)" +
                       QString(row.links) + R"(<a href="index.html"><div align="Right">Return</div></a>)" +
                       kCredit});
    // The script stands once at the end of the head; without it the page is byte for byte as set.
    QString saved = QString::fromUtf8(Saved(page));
    static const QRegularExpression script("\r\n<script type=\"text/javascript\">.*</script>",
                                           QRegularExpression::DotMatchesEverythingOption);
    const QString found = script.match(saved).captured();
    EXPECT_EQ(found.isEmpty(), row.keys == nullptr);
    if (row.keys != nullptr) {
        EXPECT_TRUE(found.contains(QString::fromUtf8(row.keys))) << found.toStdString();
    }
    EXPECT_EQ(saved.count("<script"), row.keys == nullptr ? 0 : 1);
    EXPECT_TRUE(SameHtml(expected, saved.remove(script)));
}

const char* const kFitHead = "\r\n<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
                             "\r\n<style>img{max-width:100%;max-height:calc(100vh - 16px);height:auto;"
                             "object-fit:contain}</style>";
const char* const kPrevLink = R"(<a href="first.html"><div align="Right">Previous</div></a>)";
const char* const kNextLink = R"(<a href="b%232.html"><div align="Right">Next</div></a>)";

INSTANTIATE_TEST_SUITE_P(
    Settings, GalleryPicPageTest,
    testing::Values(
        PicPageRow{"both off", false, false, "first.html", "b#2.html", "", "", nullptr},
        PicPageRow{"fitted only", false, true, "first.html", "b#2.html", kFitHead, "", nullptr},
        PicPageRow{"first page", true, false, "", "b#2.html", "", kNextLink,
                   R"(var prev = "", next = "b%232.html", up = "index.html";)"},
        PicPageRow{"middle page", true, true, "first.html", "b#2.html", kFitHead,
                   "<a href=\"first.html\"><div align=\"Right\">Previous</div></a>"
                   "<a href=\"b%232.html\"><div align=\"Right\">Next</div></a>",
                   R"(var prev = "first.html", next = "b%232.html", up = "index.html";)"},
        PicPageRow{"last page", true, false, "first.html", "", "", kPrevLink,
                   R"(var prev = "first.html", next = "", up = "index.html";)"},
        PicPageRow{"only picture, fitted", true, true, "", "", kFitHead, "",
                   R"(var prev = "", next = "", up = "index.html";)"},
        // Nothing in a name ends the string or the script early.
        PicPageRow{"markup name", true, false, "", R"(say "hi"<\script>.html)", "",
                   R"(<a href="say &quot;hi&quot;&lt;\script&gt;.html"><div align="Right">Next</div></a>)",
                   R"(next = "say \"hi\"\u003C\\script>.html", up)"}),
    [](const auto& info) { return std::string("row") + std::to_string(info.index); });

// The table page fitted to the window: the same viewport and rule in its head, and no order links.
TEST_F(GalleryTest, TablePageFittedToTheWindow) {
    Entry("a.jpg", "vl_a.jpg");
    SetInitialValues(FPage);
    FPage.SetFitToWindow(true);
    FPage.SetLinkInOrder(true);
    FPage.SetPrevText("Previous");
    FPage.SetNextText("Next");
    const QString expected =
        kHead + kFitHead + "\r\n" +
        CrLfLines({"<title>Pictures - Quorrin's Veltrix</title></head>",
                   kInitialBody + R"(<div align="Center"><font size=+2>Pictures</font></div>)",
                   R"(<div align="Center"><table CELLSPACING=5 CELLPADDING=0>)", "<tr>",
                   kThumbCell + "</td></tr></table></div>" + kReturn + kCredit});
    EXPECT_TRUE(SameHtml(expected, QString::fromUtf8(Saved(FPage))));
}

// Cells in grid order ("" an empty cell) and each page's neighbours as "prev>name>next".
struct OrderRow {
    QStringList cells;
    QStringList neighbours;
};
class PageOrderTest : public testing::TestWithParam<OrderRow> {};

TEST_P(PageOrderTest, NeighboursInGridOrderSkippingEmptyCells) {
    const QHash<QString, TPageNeighbours> found = PageNeighbours(GetParam().cells);
    QStringList actual;
    for (auto it = found.cbegin(); it != found.cend(); ++it)
        actual << it->Prev + '>' + it.key() + '>' + it->Next;
    actual.sort();
    EXPECT_EQ(actual, GetParam().neighbours);
}

INSTANTIATE_TEST_SUITE_P(
    Grids, PageOrderTest,
    testing::Values(OrderRow{{"", ""}, {}}, OrderRow{{"", "x.png", ""}, {">x.png>"}},
                    // 3 x 2 with empty cells inside and at both ends.
                    OrderRow{{"", "a.jpg", "", "b.x.jpg", "", "c"},
                             {">a.jpg>b.x.html", "a.html>b.x.jpg>c.html", "b.x.html>c>"}},
                    // A picture in two cells has one page, at its first place.
                    OrderRow{{"a.jpg", "b.jpg", "a.jpg", "c.jpg"},
                             {">a.jpg>b.html", "a.html>b.jpg>c.html", "b.html>c.jpg>"}}));

// Captions and text alternatives on both pages; with neither, the pictures are written as before.
struct CaptionRow {
    bool altText;
    bool underThumb;
    const char* caption;
    const char* thumbCell; // the table page's cell after its link's opening tag
    const char* picCell;   // the picture page's cell
};
class GalleryCaptionTest : public GalleryTest, public testing::WithParamInterface<CaptionRow> {};

TEST_P(GalleryCaptionTest, CaptionShownAndUsedAsAltText) {
    const CaptionRow& row = GetParam();
    Entry("a.jpg", "vl_a.jpg");
    FList.Items(0)->SetCaption(QString::fromUtf8(row.caption));
    SetInitialValues(FPage);
    FPage.SetAltText(row.altText);
    FPage.SetCaptionUnderThumb(row.underThumb);
    EXPECT_TRUE(QString::fromUtf8(Saved(FPage)).contains(QString::fromUtf8(row.thumbCell)));
    TGfxPicPage page;
    page.SetSettings(FPage.Settings());
    page.SetPicFile(FDir.File("a.jpg"));
    page.SetCaption(QString::fromUtf8(row.caption));
    EXPECT_TRUE(QString::fromUtf8(Saved(page)).contains(QString::fromUtf8(row.picCell)));
}

INSTANTIATE_TEST_SUITE_P(
    Captions, GalleryCaptionTest,
    testing::Values(
        CaptionRow{false, false, "", R"(<img SRC="vl_a.jpg" BORDER=0 HEIGHT=120 WIDTH=150></a></td>)",
                   R"(<td><img SRC="a.jpg" BORDER=0 HEIGHT=480 WIDTH=640></td>)"},
        CaptionRow{true, true, "", R"(<img SRC="vl_a.jpg" ALT="a.jpg" BORDER=0 HEIGHT=120 WIDTH=150></a></td>)",
                   R"(<td><img SRC="a.jpg" ALT="a.jpg" BORDER=0 HEIGHT=480 WIDTH=640></td>)"},
        CaptionRow{true, false, R"(Kai <&> "Ōtautahi")",
                   R"(<img SRC="vl_a.jpg" ALT="Kai &lt;&amp;&gt; &quot;Ōtautahi&quot;" BORDER=0 HEIGHT=120 WIDTH=150></a></td>)",
                   R"(<td><img SRC="a.jpg" ALT="Kai &lt;&amp;&gt; &quot;Ōtautahi&quot;" BORDER=0 HEIGHT=480 WIDTH=640>)"
                   R"(<div align="Center">Kai &lt;&amp;&gt; &quot;Ōtautahi&quot;</div></td>)"},
        CaptionRow{true, true, "<b>Harbour</b>",
                   R"(<img SRC="vl_a.jpg" ALT="&lt;b&gt;Harbour&lt;/b&gt;" BORDER=0 HEIGHT=120 WIDTH=150></a>)"
                   R"(<div align="Center"><font size=-1>&lt;b&gt;Harbour&lt;/b&gt;</font></div></td>)",
                   R"(ALT="&lt;b&gt;Harbour&lt;/b&gt;" BORDER=0 HEIGHT=480 WIDTH=640>)"
                   R"(<div align="Center">&lt;b&gt;Harbour&lt;/b&gt;</div></td>)"}));
