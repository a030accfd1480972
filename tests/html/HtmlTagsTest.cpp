// Tag generators and the HTML page: exact text of each element, copies, and the page layout.
#include "html/HtmlTags.h"

#include <typeinfo>

#include "HtmlTestUtil.h"

namespace {

const QString kEoln = QStringLiteral("\r\n");

template <class T> std::shared_ptr<T> Text(const QString& caption) {
    auto text = std::make_shared<T>();
    text->SetCaption(caption);
    return text;
}

// A cell source whose entry i shows the number i.
TTabCellList NumberedCells(int count) {
    TTabCellList cells;
    for (int i = 0; i < count; ++i) {
        cells.push_back(std::make_unique<TTabCellTag>());
        cells.back()->Children().Add(Text<TTextTag>(QString::number(i)));
    }
    return cells;
}

} // namespace

struct ColorRow {
    TColor color;
    const char* html;
};
class ColorToHtmlTest : public testing::TestWithParam<ColorRow> {};

TEST_P(ColorToHtmlTest, WritesRedGreenBlueFromTheLowBytes) {
    EXPECT_EQ(ColorToHtml(GetParam().color), QString(GetParam().html));
}

INSTANTIATE_TEST_SUITE_P(Colors, ColorToHtmlTest,
                         testing::Values(ColorRow{0x008B1A55, "#551A8B"}, ColorRow{0x00EE0000, "#0000EE"},
                                         ColorRow{0, "#000000"}, ColorRow{0x000000FF, "#FF0000"},
                                         // a system colour: the top byte is not part of the colour
                                         ColorRow{TColor(0x80000005u), "#050000"},
                                         ColorRow{0x00FFFFFF, "#FFFFFF"}));

TEST(TagGenerator, ImageHasAllFourAttributesAndNoClosingTag) {
    TImageTag image;
    image.SetSrc("a.jpg");
    image.SetHeight(120);
    image.SetWidth(150);
    image.Generate();
    EXPECT_EQ(image.Text(), R"(<img SRC="a.jpg" BORDER=0 HEIGHT=120 WIDTH=150>)");
}

TEST(TagGenerator, CellIsClosedOnlyAfterAChild) {
    TTabCellTag cell;
    cell.Generate();
    EXPECT_EQ(cell.Text(), kEoln + "<td>");
    cell.Children().Add(Text<TTextTag>("x"));
    cell.SetVAlign(vaBaseline);
    cell.SetAlign(haRight);
    cell.Generate();
    EXPECT_EQ(cell.Text(), kEoln + "<td ALIGN=Right VALIGN=Baseline>x</td>");
}

TEST(TagGenerator, TableFillsRowByRowAndLeavesMissingCellsEmpty) {
    const TTabCellList cells = NumberedCells(4);
    TTableTag table;
    table.SetRows(2);
    table.SetColumns(3);
    table.SetCells(&cells);
    table.Generate();
    const QString expected = kEoln + "<table CELLSPACING=0 CELLPADDING=0>" + //
                             kEoln + "<tr>" + kEoln + "<td>0</td>" + kEoln + "<td>1</td>" + kEoln +
                             "<td>2</td></tr>" + kEoln + "<tr>" + kEoln + "<td>3</td>" + kEoln + "<td>" +
                             kEoln + "<td></tr></table>";
    EXPECT_TRUE(SameHtml(expected, table.Text()));
    // The source is only read: a second run gives the same rows, and the entries keep their one child.
    table.Generate();
    EXPECT_TRUE(SameHtml(expected, table.Text()));
    for (const auto& cell : cells)
        EXPECT_EQ(cell->Children().Count(), 1);
}

TEST(TagGenerator, TableWithoutRowsIsAnOpeningTagInsideItsDivision) {
    TTableTag table;
    table.Generate();
    EXPECT_EQ(table.Text(), kEoln + "<table CELLSPACING=0 CELLPADDING=0>");
    table.SetAlign(haCenter);
    table.SetCellSpacing(5);
    table.Generate();
    EXPECT_EQ(table.Text(), kEoln + R"(<div align="Center"><table CELLSPACING=5 CELLPADDING=0></div>)");
}

struct TextRow {
    const char* caption;
    int fontSize;
    TColor color;
    THtmlHAlign align;
    const char* html;
};
class TextTagTest : public testing::TestWithParam<TextRow> {};

TEST_P(TextTagTest, NestsCaptionSizeColourAndDivision) {
    const TextRow& row = GetParam();
    TTextTag text;
    text.SetCaption(QString::fromUtf8(row.caption));
    text.SetFontSize(row.fontSize);
    text.SetColor(row.color);
    text.SetAlign(row.align);
    text.Generate();
    EXPECT_EQ(text.Text(), QString::fromUtf8(row.html));
}

INSTANTIATE_TEST_SUITE_P(
    Captions, TextTagTest,
    testing::Values(
        TextRow{"a\r\nb", 0, clNone, haDefault, "a<br>b"},
        TextRow{"a\r\n", 0, clNone, haDefault, "a"}, // a final break adds no <br>
        TextRow{"a\nb\rc\r\n\r\nd", 0, clNone, haDefault, "a<br>b<br>c<br><br>d"},
        TextRow{"", 3, 0xFF, haCenter, ""}, TextRow{"x", 3, clNone, haDefault, "<font size=+3>x</font>"},
        TextRow{"x", -2, clNone, haDefault, "<font size=-2>x</font>"},
        TextRow{"Pictures", 2, 0x0000FF, haCenter,
                R"(<div align="Center"><font color="#FF0000"><font size=+2>Pictures</font></font></div>)"},
        TextRow{"x", 0, 0x00EE0000, haLeft, R"(<div align="Left"><font color="#0000EE">x</font></div>)"}));

TEST(TagGenerator, BodyWritesOnlyTheAttributesThatAreSet) {
    TBodyTag body;
    body.Generate();
    EXPECT_EQ(body.Text(), kEoln + "<body>");
    body.SetBackground("bg.jpg");
    body.SetALinkColor(0x00EE0000);
    body.SetTextColor(0);
    body.Generate();
    EXPECT_EQ(body.Text(), kEoln + R"(<body background="bg.jpg" text="#000000" alink="#0000EE">)");
}

TEST(TagGenerator, MetaAndTitleStartTheirOwnLines) {
    TMetaTag meta;
    meta.SetName("GENERATOR");
    meta.SetContent("Quorrin's Veltrix");
    meta.Generate();
    EXPECT_EQ(meta.Text(), kEoln + R"(<meta name="GENERATOR" content="Quorrin's Veltrix">)");
    TTitleTag title;
    title.SetTitle("A & B");
    title.Generate();
    EXPECT_EQ(title.Text(), kEoln + "<title>A & B</title>");
}

// Each generator set, generated, then unset: the second generation writes nothing.
TEST(TagGenerator, ClearedSettingWritesNothingTheNextTime) {
    THrefTag link;
    link.SetHref("index.html");
    link.Children().Add(Text<TTextTag>("Return"));
    link.Generate();
    EXPECT_EQ(link.Text(), R"(<a href="index.html">Return</a>)");
    link.SetHref("");
    link.Generate();
    EXPECT_EQ(link.Text(), "");

    THorizLineTag line;
    line.SetWidth(50);
    line.Generate();
    EXPECT_EQ(line.Text(), R"(<hr WIDTH="50%">)");
    line.SetWidth(0);
    line.Generate();
    EXPECT_EQ(line.Text(), "");

    TTextTag text;
    text.SetCaption("x");
    text.SetAlign(haCenter);
    text.Generate();
    text.SetCaption("");
    text.Generate();
    EXPECT_EQ(text.Text(), "");
    EXPECT_TRUE(text.Children().IsEmpty());
}

TEST(TagGenerator, AlignmentOutsideItsTableIsWrittenAsDefault) {
    // A damaged profile may hold any byte; it must not index past the name table.
    TTabCellTag cell;
    cell.SetAlign(static_cast<THtmlHAlign>(200));
    cell.SetVAlign(static_cast<THtmlVAlign>(5));
    cell.Generate();
    EXPECT_EQ(cell.Text(), kEoln + "<td>");
}

TEST(TagGenerator, AssignMakesAnIndependentDeepCopyOfTheSameClasses) {
    TTabCellTag cell;
    cell.SetAlign(haCenter);
    auto link = std::make_shared<THrefTag>();
    link->SetHref("a.html");
    auto image = std::make_shared<TImageTag>();
    image->SetSrc("vl_a.jpg");
    image->SetWidth(150);
    link->Children().Add(image);
    cell.Children().Add(link);
    cell.Children().Add(Text<TTextTag>("a.jpg\r\n640x480"));
    cell.Generate();

    TTabCellTag copy;
    copy.Assign(cell);
    EXPECT_EQ(copy.Text(), cell.Text());
    ASSERT_EQ(copy.Children().Count(), 2);
    EXPECT_EQ(typeid(*copy.Children().Items(0)), typeid(THrefTag));
    EXPECT_NE(copy.Children().Items(0), link.get());
    copy.Generate();
    EXPECT_EQ(copy.Text(), cell.Text());

    image->SetSrc("changed.jpg");
    copy.Generate();
    EXPECT_TRUE(copy.Text().contains("vl_a.jpg"));
}

TEST(TagGenerator, AssignFromItsOwnChildKeepsTheChildReadable) {
    TTabCellTag cell;
    auto link = std::make_shared<THrefTag>();
    link->SetHref("a.html");
    link->Children().Add(Text<TTextTag>("x"));
    cell.Children().Add(link);
    TTagGenerator* child = cell.Children().Items(0);
    link.reset(); // the tree is the only owner now
    cell.Assign(*child);
    ASSERT_EQ(cell.Children().Count(), 1);
    EXPECT_EQ(typeid(*cell.Children().Items(0)), typeid(TTextTag));
    cell.Assign(cell);
    EXPECT_EQ(cell.Children().Count(), 1);
}

TEST(HtmlPage, EmptyPageIsHeadWithEmptyTitleAndAnOpenBody) {
    THtmlPage page;
    page.Generate();
    EXPECT_TRUE(
        SameHtml(CrLfLines({"<html>", "<head>", "<title></title></head>", "<body></html>"}), page.Text()));
}

TEST(HtmlPage, TitleFollowsTheHeadChildrenAndIsAttachedOnce) {
    THtmlPage page;
    auto meta = std::make_shared<TMetaTag>();
    meta->SetName("GENERATOR");
    meta->SetContent("Quorrin's Veltrix");
    page.Head().Children().Add(meta);
    page.TitleTag().SetTitle("Pictures");
    page.Generate();
    const QString expected =
        CrLfLines({"<html>", "<head>", R"(<meta name="GENERATOR" content="Quorrin's Veltrix">)",
                   "<title>Pictures</title></head>", "<body></html>"});
    EXPECT_TRUE(SameHtml(expected, page.Text()));
    page.Generate();
    EXPECT_TRUE(SameHtml(expected, page.Text()));
    EXPECT_EQ(page.Head().Children().Count(), 2);
}

TEST(HtmlPage, AnotherTitleInTheHeadKeepsThePagesOwnOut) {
    THtmlPage page;
    page.TitleTag().SetTitle("own");
    auto other = std::make_shared<TTitleTag>();
    other->SetTitle("other");
    page.Head().Children().Add(other);
    page.Generate();
    EXPECT_TRUE(page.Text().contains("<title>other</title>"));
    EXPECT_FALSE(page.Text().contains("own"));
}

TEST(HtmlPage, CopyKeepsItsOwnHeadBodyAndTitle) {
    THtmlPage page;
    page.TitleTag().SetTitle("Pictures");
    page.Body().SetTextColor(0);
    page.Body().Children().Add(Text<TTextTag>("hello"));
    page.Generate();

    THtmlPage copy;
    copy.Assign(page);
    copy.Generate();
    EXPECT_TRUE(SameHtml(page.Text(), copy.Text()));
    // The copy's own parts are the ones in its tree.
    copy.TitleTag().SetTitle("Copy");
    copy.Body().SetTextColor(0xFF);
    copy.Generate();
    EXPECT_TRUE(copy.Text().contains("<title>Copy</title>"));
    EXPECT_TRUE(copy.Text().contains(R"(<body text="#FF0000">hello</body>)"));
    page.Generate();
    EXPECT_TRUE(page.Text().contains("<title>Pictures</title>"));
}
