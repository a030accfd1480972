// The gallery pages: settings into the generator tree, cells from the measured pictures, the page file.
#include "html/GfxHtml.h"

#include <algorithm>

#include <QFileInfo>
#include <QLocale>

#include "common/VlxSaveFile.h"
#include "html/WebFiles.h"

namespace {

// The table rows whose thumbnails load with the page, taken as its first screenful; the thumbnails of the
// rows below load lazily, as they are scrolled near. Three rows of the usual thumbnails (up to about 200
// pixels high with three information lines) fill a laptop's window; a gallery of three rows or fewer is
// written as before.
constexpr int kEagerThumbRows = 3;

// The name after the last directory separator.
QString FileNamePart(const QString& path) {
    return path.mid(path.lastIndexOf('/') + 1);
}

// Bytes as kilobytes with one decimal, halves rounding up ("0.0" pattern), in the program's locale,
// which is the system's: the page is written for the user who made it.
QString KiloBytesText(int bytes) {
    const qint64 tenths = (static_cast<qint64>(bytes) * 10 + 512) / 1024;
    return QString::number(tenths / 10) + QLocale().decimalPoint() + QString::number(tenths % 10);
}

// Up to three lines: file name, picture size, file size.
QString InfoText(TPicInfo info, const QString& picName, int width, int height, int fileSize) {
    const bool name = (info & PicInfoBit(piFileName)) != 0;
    const bool picSize = (info & PicInfoBit(piPicSize)) != 0;
    const bool size = (info & PicInfoBit(piFileSize)) != 0;
    QString text;
    if (name) {
        text += HtmlEscape(FileNamePart(picName));
        if (picSize || size)
            text += kCrLf;
    }
    if (picSize)
        text += QString::number(width) + 'x' + QString::number(height);
    if (size) {
        if (picSize)
            text += ' ';
        text += KiloBytesText(fileSize) + "kB";
    }
    return text;
}

std::shared_ptr<TImageTag> ImageTag(const QString& fileName, int width, int height) {
    auto image = std::make_shared<TImageTag>();
    image->SetSrc(HtmlEscape(UrlFromFileName(FileNamePart(fileName))));
    image->SetWidth(width);
    image->SetHeight(height);
    image->SetBorder(0);
    return image;
}

// A picture's ALT text where the page writes them: its caption, else the file name a visitor would otherwise
// hear.
QString PictureAltText(bool altText, const QString& caption, const QString& picName) {
    if (!altText)
        return {};
    return HtmlEscape(caption.isEmpty() ? FileNamePart(picName) : caption);
}

// A caption is text a visitor reads, never markup: "<b>" shows as typed.
std::shared_ptr<TTextTag> CaptionTag(const QString& caption, int fontSize, TColor color, THtmlHAlign align) {
    auto text = std::make_shared<TTextTag>();
    text->SetCaption(HtmlEscape(caption));
    text->SetFontSize(fontSize);
    text->SetColor(color);
    text->SetAlign(align);
    return text;
}

// A link beside the back link: its target page and text, in the back link's size and alignment. Without a
// target nothing is written.
void SetUpSideLink(THrefTag& link, const QString& page, const QString& text, const TGfxPageFrame& frame) {
    link.SetHref(page.isEmpty() ? QString() : HtmlEscape(UrlFromFileName(page)));
    auto caption = std::make_shared<TTextTag>();
    caption->SetCaption(text);
    caption->SetFontSize(frame.BackLinkFontSize);
    caption->SetAlign(frame.BackLinkAlign);
    link.Children().Clear();
    link.Children().Add(std::move(caption));
}

// A JavaScript string literal of an address: quotes and backslashes escaped, and '<' and the line and
// paragraph separators written as escapes, so that no "</script" can end the script early.
QString ScriptString(const QString& text) {
    QString literal = QStringLiteral("\"");
    for (const QChar ch : text) {
        const char16_t c = ch.unicode();
        if (c == '"' || c == '\\')
            literal += QString('\\') + ch;
        else if (c < 0x20 || c == '<' || c == 0x2028 || c == 0x2029)
            literal += "\\u" + QString::number(c, 16).toUpper().rightJustified(4, '0');
        else
            literal += ch;
    }
    return literal + '"';
}

// Everything of the page keys' script after its targets. A swipe is a one-finger stroke mostly sideways and
// at least 50 pixels long, not made while the page is zoomed in (then the finger pans the picture).
const char* const kPageKeysScript[] = {
    "  function go(url) { if (url) location.href = url; }",
    "  document.addEventListener(\"keydown\", function (e) {",
    "    var field = e.target.nodeName;",
    "    if (e.altKey || e.ctrlKey || e.metaKey || e.target.isContentEditable ||",
    "        field == \"INPUT\" || field == \"TEXTAREA\" || field == \"SELECT\") return;",
    "    if (e.key == \"ArrowLeft\") go(prev);",
    "    else if (e.key == \"ArrowRight\") go(next);",
    "    else if (e.key == \"Escape\" || (e.key == \"ArrowUp\" && window.scrollY == 0)) go(up);",
    "  });",
    "  var x = null, y = 0;",
    "  document.addEventListener(\"touchstart\", function (e) {",
    "    x = e.touches.length == 1 ? e.touches[0].clientX : null;",
    "    y = e.touches[0].clientY;",
    "  });",
    "  document.addEventListener(\"touchend\", function (e) {",
    "    if (x === null || (window.visualViewport && visualViewport.scale > 1)) return;",
    "    var dx = e.changedTouches[0].clientX - x, dy = e.changedTouches[0].clientY - y;",
    "    x = null;",
    "    if (Math.abs(dx) >= 50 && Math.abs(dx) > 2 * Math.abs(dy)) go(dx > 0 ? prev : next);",
    "  });",
    "})();",
    "</script>"};

} // namespace

// ---- TFitToWindowTag

void TFitToWindowTag::Assign(const TPersistent& source) {
    if (const auto* tag = dynamic_cast<const TFitToWindowTag*>(&source))
        FEnabled = tag->FEnabled;
}

void TFitToWindowTag::Generate() {
    // The pictures keep their WIDTH and HEIGHT, so the page is laid out before they load. A picture no
    // higher than the window less the page's margins (8 pixels above and below) shows whole without
    // scrolling; where only the height shrinks, "contain" draws it in proportion inside its box.
    SetText(FEnabled
                ? kCrLf + R"(<meta name="viewport" content="width=device-width, initial-scale=1">)" + kCrLf +
                      "<style>img{max-width:100%;max-height:calc(100vh - 16px);height:auto;"
                      "object-fit:contain}</style>"
                : QString());
}

TTagGeneratorPtr TFitToWindowTag::NewInstance() const {
    return std::make_shared<TFitToWindowTag>();
}

// ---- TPageKeysTag

void TPageKeysTag::Assign(const TPersistent& source) {
    if (const auto* tag = dynamic_cast<const TPageKeysTag*>(&source)) {
        FEnabled = tag->FEnabled;
        FPrev = tag->FPrev;
        FNext = tag->FNext;
        FUp = tag->FUp;
    }
}

void TPageKeysTag::SetTargets(const QString& prev, const QString& next, const QString& up) {
    FPrev = prev;
    FNext = next;
    FUp = up;
}

void TPageKeysTag::Generate() {
    if (!FEnabled) {
        SetText({});
        return;
    }
    QString text = kCrLf + R"(<script type="text/javascript">)" + kCrLf + "(function () {" + kCrLf +
                   "  var prev = " + ScriptString(FPrev) + ", next = " + ScriptString(FNext) +
                   ", up = " + ScriptString(FUp) + ';';
    for (const char* line : kPageKeysScript)
        text += kCrLf + QString::fromLatin1(line);
    SetText(text);
}

TTagGeneratorPtr TPageKeysTag::NewInstance() const {
    return std::make_shared<TPageKeysTag>();
}

// ---- TTablePagesTag

void TTablePagesTag::Assign(const TPersistent& source) {
    if (const auto* tag = dynamic_cast<const TTablePagesTag*>(&source)) {
        FLinks = tag->FLinks;
        FPrevText = tag->FPrevText;
        FNextText = tag->FNextText;
        FAlign = tag->FAlign;
    }
}

void TTablePagesTag::SetLinks(const TTablePageLinks& links, const QString& prevText, const QString& nextText,
                              THtmlHAlign align) {
    FLinks = links;
    FPrevText = prevText;
    FNextText = nextText;
    FAlign = align;
}

void TTablePagesTag::Generate() {
    if (FLinks.Count <= 1) {
        SetText({});
        return;
    }
    // The texts are the user's (written as typed, like the back link's); an emptied one would hide its link.
    const auto link = [](const QString& page, const QString& text) {
        return page.isEmpty() ? QString()
                              : "<a href=\"" + HtmlEscape(UrlFromFileName(page)) + "\">" + text + "</a> ";
    };
    QString line = link(FLinks.First, QStringLiteral("First")) +
                   link(FLinks.Prev, FPrevText.isEmpty() ? QStringLiteral("Previous") : FPrevText) +
                   QString::number(FLinks.Number) + " / " + QString::number(FLinks.Count);
    const QString after = link(FLinks.Next, FNextText.isEmpty() ? QStringLiteral("Next") : FNextText) +
                          link(FLinks.Last, QStringLiteral("Last"));
    if (!after.isEmpty())
        line += ' ' + after.chopped(1);
    const QString align = HtmlHAlignValue(FAlign);
    SetText(align.isEmpty() ? line : "<div align=\"" + align + "\">" + line + "</div>");
}

TTagGeneratorPtr TTablePagesTag::NewInstance() const {
    return std::make_shared<TTablePagesTag>();
}

// ---- TGfxThumbPage

TGfxThumbPage::TGfxThumbPage()
    : FTableTitleTag(std::make_shared<TTextTag>()), FTableTag(std::make_shared<TTableTag>()),
      FLineTag(std::make_shared<THorizLineTag>()), FBackLinkTag(std::make_shared<THrefTag>()),
      FBackLinkTextTag(std::make_shared<TTextTag>()), FPrevLinkTag(std::make_shared<THrefTag>()),
      FNextLinkTag(std::make_shared<THrefTag>()), FOriginalLinkTag(std::make_shared<THrefTag>()),
      FFitTag(std::make_shared<TFitToWindowTag>()), FKeysTag(std::make_shared<TPageKeysTag>()),
      FPagesTag(std::make_shared<TTablePagesTag>()) {
    auto generator = std::make_shared<TMetaTag>();
    generator->SetName(QStringLiteral("GENERATOR"));
    generator->SetContent(QStringLiteral("Quorrin's Veltrix"));
    Head().Children().Add(std::move(generator));
    Head().Children().Add(std::make_shared<TCharsetTag>());
    Head().Children().Add(FFitTag);
    Head().Children().Add(FKeysTag);

    FBackLinkTag->Children().Add(FBackLinkTextTag);
    auto creditText = std::make_shared<TTextTag>();
    creditText->SetCaption(QStringLiteral("This page created with Veltrix"));
    creditText->SetFontSize(-1);
    creditText->SetAlign(haCenter);
    auto credit = std::make_shared<THrefTag>();
    credit->SetHref(QString::fromLatin1(kVeltrixHomePage));
    credit->Children().Add(std::move(creditText));

    TTagList& body = Body().Children();
    body.Add(FTableTitleTag);
    body.Add(FTableTag);
    body.Add(FPagesTag);
    body.Add(FLineTag);
    body.Add(FOriginalLinkTag);
    body.Add(FPrevLinkTag);
    body.Add(FNextLinkTag);
    body.Add(FBackLinkTag);
    body.Add(std::move(credit));
}

void TGfxThumbPage::Assign(const TPersistent& source) {
    // Settings only: the tree is the constructor's and follows the settings on every generation.
    const auto* page = dynamic_cast<const TGfxThumbPage*>(&source);
    if (page == nullptr || page == this)
        return;
    SetText(page->Text());
    FSettings = page->FSettings;
    FPageLinks = page->FPageLinks;
}

void TGfxThumbPage::Generate() {
    TBodyTag& body = Body();
    body.SetBackground(HtmlEscape(UrlFromFileName(FSettings.Frame.Background)));
    body.SetTextColor(FSettings.Frame.TextColor);
    body.SetLinkColor(FSettings.Frame.LinkColor);
    body.SetVLinkColor(FSettings.Frame.VLinkColor);
    body.SetALinkColor(FSettings.Frame.ALinkColor);
    TitleTag().SetTitle(FSettings.Frame.Title);

    FTableTitleTag->SetCaption(FSettings.TableTitle);
    FTableTitleTag->SetFontSize(FSettings.TableTitleFontSize);
    FTableTitleTag->SetColor(FSettings.TableTitleColor);
    FTableTitleTag->SetAlign(FSettings.TableTitleAlign);
    FLineTag->SetWidth(FSettings.Frame.LineWidth);

    // Without a target neither the link nor its text is written.
    FBackLinkTag->SetHref(HtmlQuoteEscape(FSettings.Frame.BackLink));
    FBackLinkTextTag->SetCaption(FSettings.Frame.BackLink.isEmpty() ? QString()
                                                                    : FSettings.Frame.BackLinkText);
    FBackLinkTextTag->SetFontSize(FSettings.Frame.BackLinkFontSize);
    FBackLinkTextTag->SetAlign(FSettings.Frame.BackLinkAlign);
    const TGfxPageFrame& frame = FSettings.Frame;
    SetUpSideLink(*FPrevLinkTag, frame.LinkInOrder ? frame.PrevPage : QString(), frame.PrevText, frame);
    SetUpSideLink(*FNextLinkTag, frame.LinkInOrder ? frame.NextPage : QString(), frame.NextText, frame);
    SetUpSideLink(*FOriginalLinkTag, frame.OriginalFile, QStringLiteral("Original"), frame);
    FFitTag->SetEnabled(frame.FitToWindow);
    // The keys lead exactly where the page's links do: no link, no key.
    FKeysTag->SetEnabled(frame.LinkInOrder && MovesByKeys());
    const auto address = [](const QString& page) { return page.isEmpty() ? page : UrlFromFileName(page); };
    FKeysTag->SetTargets(address(frame.PrevPage), address(frame.NextPage), frame.BackLink);
    FPagesTag->SetLinks(FPageLinks, frame.PrevText, frame.NextText, FSettings.TableAlign);

    BuildCells();
    FTableTag->SetAlign(FSettings.TableAlign);
    FTableTag->SetCellSpacing(FSettings.CellSpacing);
    FTableTag->SetRows(FSettings.Rows);
    FTableTag->SetColumns(FSettings.Columns);
    FTableTag->SetCells(&FCells);
    THtmlPage::Generate();
}

TTagGeneratorPtr TGfxThumbPage::NewInstance() const {
    return std::make_shared<TGfxThumbPage>();
}

void TGfxThumbPage::BuildCells() {
    FCells.clear();
    if (FSettings.ThumbList == nullptr)
        return;
    // Every entry is measured, also those beyond the table: a missing file stops the page either way.
    const QString dir = FSettings.ThumbList->BaseDir();
    for (int i = 0; i < FSettings.ThumbList->Count(); ++i) {
        const TThumbListItem& item = *FSettings.ThumbList->Items(i);
        auto cell = std::make_unique<TTabCellTag>();
        if (!item.PicName().isEmpty() || !item.ThumbName().isEmpty()) {
            int picWidth = 0, picHeight = 0, picSize = 0;
            GetPictureInfo(dir + (item.ShownName().isEmpty() ? item.PicName() : item.ShownName()), picWidth,
                           picHeight, picSize);
            int thumbWidth = 0, thumbHeight = 0, thumbSize = 0;
            GetPictureInfo(dir + item.ThumbName(), thumbWidth, thumbHeight, thumbSize);

            // The picture's own page, named as the generation run writes it.
            auto link = std::make_shared<THrefTag>();
            link->SetHref(HtmlEscape(UrlFromFileName(PageName(item.PicName()))));
            auto image = ImageTag(item.ThumbName(), thumbWidth, thumbHeight);
            image->SetLazy(i / std::max(FSettings.Columns, 1) >= kEagerThumbRows);
            image->SetAlt(PictureAltText(FSettings.Frame.AltText, item.Caption(), item.PicName()));
            link->Children().Add(std::move(image));
            cell->Children().Add(std::move(link));
            if (FSettings.CaptionUnderThumb && !item.Caption().isEmpty())
                cell->Children().Add(CaptionTag(item.Caption(), FSettings.PicInfoFontSize,
                                                FSettings.PicInfoColor, FSettings.PicInfoAlign));
            if (FSettings.PicInfo != 0) {
                auto info = std::make_shared<TTextTag>();
                info->SetFontSize(FSettings.PicInfoFontSize);
                info->SetColor(FSettings.PicInfoColor);
                info->SetAlign(FSettings.PicInfoAlign);
                info->SetCaption(InfoText(FSettings.PicInfo, item.PicName(), picWidth, picHeight, picSize));
                cell->Children().Add(std::move(info));
            }
        }
        FCells.push_back(std::move(cell));
    }
}

void TGfxThumbPage::SaveToFile(const QString& fileName) {
    Generate();
    SaveGenerated(fileName);
}

void TGfxThumbPage::SaveGenerated(const QString& fileName) const {
    const QByteArray bytes = Text().toUtf8();
    // Written beside the target and renamed over it when complete, so no half page is ever left.
    TSaveFile file(fileName);
    if (QFileInfo(fileName).isDir())
        throw EGfxHtmlException("Cannot create file " + fileName + ": it is a folder");
    if (!file.open(QIODevice::WriteOnly))
        throw EGfxHtmlException("Cannot create file " + fileName + ": " + file.errorString());
    if (file.write(bytes) != bytes.size() || !file.commit())
        throw EGfxHtmlException("Cannot write file " + fileName + ": " + file.errorString());
}

// ---- TGfxPicPage

void TGfxPicPage::Assign(const TPersistent& source) {
    if (const auto* page = dynamic_cast<const TGfxPicPage*>(&source)) {
        FPicFile = page->FPicFile;
        FCaption = page->FCaption;
    }
    TGfxThumbPage::Assign(source);
}

TTagGeneratorPtr TGfxPicPage::NewInstance() const {
    return std::make_shared<TGfxPicPage>();
}

void TGfxPicPage::BuildCells() {
    FCells.clear();
    int width = 0, height = 0, fileSize = 0;
    GetPictureInfo(FPicFile, width, height, fileSize);
    auto cell = std::make_unique<TTabCellTag>();
    // A kind browsers cannot show is shown by its rendering, which has the picture's size.
    auto image = ImageTag(BrowserViewableName(FPicFile), width, height);
    image->SetAlt(PictureAltText(Settings().Frame.AltText, FCaption, FPicFile));
    cell->Children().Add(std::move(image));
    // Under the picture, centred, in the page's text size and colour.
    if (!FCaption.isEmpty())
        cell->Children().Add(CaptionTag(FCaption, 0, clNone, haCenter));
    FCells.push_back(std::move(cell));
}
