// The two gallery pages: the thumbnail table page and the page of one picture.
#pragma once

#include <cstdint>

#include <QString>

#include "html/GfxLists.h"
#include "html/HtmlTags.h"

// Lines of picture information under each thumbnail.
enum TPicInfoItem : std::uint8_t { piFileName, piPicSize, piFileSize };
// A set of TPicInfoItem in one byte: bit n stands for item n.
using TPicInfo = std::uint8_t;
constexpr TPicInfo PicInfoBit(TPicInfoItem item) {
    return static_cast<TPicInfo>(1u << item);
}

// The address the credit line of every page links to.
inline constexpr const char* kVeltrixHomePage = "https://veltrix.example.org/";

// What a picture's page shares with the table page: the title, the colours, the rule and the back link.
struct TGfxPageFrame {
    QString Title;
    QString Background;
    int BackLinkFontSize = 0;
    QString BackLink;
    THtmlHAlign BackLinkAlign = haDefault;
    int LineWidth = 0;
    QString BackLinkText;
    TColor LinkColor = clNone;
    TColor VLinkColor = clNone;
    TColor ALinkColor = clNone;
    TColor TextColor = clNone;
    // Previous and next links to the neighbouring pictures' pages, beside the back link and written like
    // it; a page without a neighbour on a side has no link there.
    bool LinkInOrder = false;
    QString PrevText; // texts written like the back link's, in its size and alignment
    QString NextText;
    QString PrevPage; // file name of the previous picture's page, empty for none
    QString NextPage;
    // A viewport for phones and pictures that shrink to the window's width, keeping their proportions.
    bool FitToWindow = false;
    // Every picture and thumbnail has an ALT text: its caption, else its file name. Set by the run where
    // any picture has a caption or captions go under the thumbnails; off, the pictures are written as
    // before.
    bool AltText = false;
    // File name of the picture's original, linked as "Original" beside the back link when the page shows a
    // smaller copy of it; empty for none.
    QString OriginalFile;

    bool operator==(const TGfxPageFrame&) const = default;
};

// Pictures larger than MaxSide pixels on their long side are published as a JPEG that size, which their
// page shows; with PublishOriginal the original is published as well and linked from the page. Read by the
// generation run; the pages themselves follow the names it gives them.
struct TWebSize {
    bool Enabled = false;
    int MaxSide = 2048;
    bool PublishOriginal = false;

    bool operator==(const TWebSize&) const = default;
};

// Every setting of a gallery page, copied as one value: a setting added here is copied everywhere.
struct TGfxPageSettings {
    TGfxPageFrame Frame;
    QString TableTitle;
    TThumbnailList* ThumbList = nullptr;
    int Columns = 1;
    int Rows = 1;
    int CellSpacing = 0;
    TPicInfo PicInfo = 0;
    int PicInfoFontSize = -1;
    TColor PicInfoColor = clNone;
    THtmlHAlign PicInfoAlign = haDefault;
    int TableTitleFontSize = 0;
    TColor TableTitleColor = clNone;
    THtmlHAlign TableTitleAlign = haDefault;
    THtmlHAlign TableAlign = haDefault;
    // Each picture's caption under its thumbnail, written like the picture information and before it.
    bool CaptionUnderThumb = false;
    TWebSize WebSize;
    // Rows of the table on each table page; 0 writes the whole table on one page. A run splits a table of
    // more rows over several pages (see TTablePageLinks).
    int PageRows = 0;

    bool operator==(const TGfxPageSettings&) const = default;
};

// Where one page of a table split over several stands: its number of Count, and the file names of the first,
// previous, next and last table pages (empty where the page itself would be the target).
struct TTablePageLinks {
    int Number = 1;
    int Count = 1;
    QString First;
    QString Prev;
    QString Next;
    QString Last;

    bool operator==(const TTablePageLinks&) const = default;
};

// In the head of a page fitted to the window: a viewport for phones and a rule that lets every picture shrink
// to the width it is given, keeping its proportions. Off, it writes nothing.
class TFitToWindowTag : public TTagGenerator {
public:
    void Assign(const TPersistent& source) override;
    void Generate() override;
    TTagGeneratorPtr NewInstance() const override;

    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool value) { FEnabled = value; }

private:
    bool FEnabled = false;
};

// In the head of a picture's page linked in order: a few lines of script that go to the previous and next
// pages by the Left and Right arrow keys and by a horizontal swipe, and to the table page by Escape or by Up
// at the top of the page. Keys with Alt, Ctrl or Meta and keys typed into a form field are left alone. Off,
// it writes nothing.
class TPageKeysTag : public TTagGenerator {
public:
    void Assign(const TPersistent& source) override;
    void Generate() override;
    TTagGeneratorPtr NewInstance() const override;

    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool value) { FEnabled = value; }
    // Addresses as a link's href holds them before HTML escaping; empty where the page has no such link.
    void SetTargets(const QString& prev, const QString& next, const QString& up);

private:
    bool FEnabled = false;
    QString FPrev;
    QString FNext;
    QString FUp;
};

// Under the table of a page of a table split over several: one line of links to the first, previous, next
// and last table pages around the page's number ("2 / 5"), aligned as the table. A table on one page writes
// nothing.
class TTablePagesTag : public TTagGenerator {
public:
    void Assign(const TPersistent& source) override;
    void Generate() override;
    TTagGeneratorPtr NewInstance() const override;

    void SetLinks(const TTablePageLinks& links, const QString& prevText, const QString& nextText,
                  THtmlHAlign align);

private:
    TTablePageLinks FLinks;
    QString FPrevText;
    QString FNextText;
    THtmlHAlign FAlign = haDefault;
};

// The thumbnail table page: title line, a table of linked thumbnails, rule, back link and credit line.
class TGfxThumbPage : public THtmlPage {
public:
    TGfxThumbPage();

    // Copies another gallery page's settings (and its last text); the tree follows them on generation.
    void Assign(const TPersistent& source) override;
    const TGfxPageSettings& Settings() const { return FSettings; }
    void SetSettings(const TGfxPageSettings& value) { FSettings = value; }
    // Copies the settings into the tree, builds the cells and writes the document into Text.
    void Generate() override;
    TTagGeneratorPtr NewInstance() const override;
    // Fills Cells: one linked thumbnail per list entry, measured from the files.
    virtual void BuildCells();
    // Generates the page and writes it as UTF-8. Nothing is written when generating fails, and the
    // file under FileName is replaced only by a complete page.
    void SaveToFile(const QString& fileName);
    // Writes Text as the last Generate left it, without generating (and measuring) the page again.
    void SaveGenerated(const QString& fileName) const;

    const QString& Title() const { return FSettings.Frame.Title; }
    void SetTitle(const QString& value) { FSettings.Frame.Title = value; }
    // A file name, relative to the page.
    const QString& Background() const { return FSettings.Frame.Background; }
    void SetBackground(const QString& value) { FSettings.Frame.Background = value; }
    const QString& TableTitle() const { return FSettings.TableTitle; }
    void SetTableTitle(const QString& value) { FSettings.TableTitle = value; }
    // Not owned; only read during Generate.
    TThumbnailList* ThumbList() const { return FSettings.ThumbList; }
    void SetThumbList(TThumbnailList* value) { FSettings.ThumbList = value; }
    int Columns() const { return FSettings.Columns; }
    void SetColumns(int value) { FSettings.Columns = value; }
    int Rows() const { return FSettings.Rows; }
    void SetRows(int value) { FSettings.Rows = value; }
    int CellSpacing() const { return FSettings.CellSpacing; }
    void SetCellSpacing(int value) { FSettings.CellSpacing = value; }
    TPicInfo PicInfo() const { return FSettings.PicInfo; }
    void SetPicInfo(TPicInfo value) { FSettings.PicInfo = value; }
    int PicInfoFontSize() const { return FSettings.PicInfoFontSize; }
    void SetPicInfoFontSize(int value) { FSettings.PicInfoFontSize = value; }
    TColor PicInfoColor() const { return FSettings.PicInfoColor; }
    void SetPicInfoColor(TColor value) { FSettings.PicInfoColor = value; }
    THtmlHAlign PicInfoAlign() const { return FSettings.PicInfoAlign; }
    void SetPicInfoAlign(THtmlHAlign value) { FSettings.PicInfoAlign = value; }
    int TableTitleFontSize() const { return FSettings.TableTitleFontSize; }
    void SetTableTitleFontSize(int value) { FSettings.TableTitleFontSize = value; }
    TColor TableTitleColor() const { return FSettings.TableTitleColor; }
    void SetTableTitleColor(TColor value) { FSettings.TableTitleColor = value; }
    THtmlHAlign TableTitleAlign() const { return FSettings.TableTitleAlign; }
    void SetTableTitleAlign(THtmlHAlign value) { FSettings.TableTitleAlign = value; }
    THtmlHAlign TableAlign() const { return FSettings.TableAlign; }
    void SetTableAlign(THtmlHAlign value) { FSettings.TableAlign = value; }
    int BackLinkFontSize() const { return FSettings.Frame.BackLinkFontSize; }
    void SetBackLinkFontSize(int value) { FSettings.Frame.BackLinkFontSize = value; }
    const QString& BackLink() const { return FSettings.Frame.BackLink; }
    void SetBackLink(const QString& value) { FSettings.Frame.BackLink = value; }
    THtmlHAlign BackLinkAlign() const { return FSettings.Frame.BackLinkAlign; }
    void SetBackLinkAlign(THtmlHAlign value) { FSettings.Frame.BackLinkAlign = value; }
    int LineWidth() const { return FSettings.Frame.LineWidth; }
    void SetLineWidth(int value) { FSettings.Frame.LineWidth = value; }
    const QString& BackLinkText() const { return FSettings.Frame.BackLinkText; }
    void SetBackLinkText(const QString& value) { FSettings.Frame.BackLinkText = value; }
    TColor LinkColor() const { return FSettings.Frame.LinkColor; }
    void SetLinkColor(TColor value) { FSettings.Frame.LinkColor = value; }
    TColor VLinkColor() const { return FSettings.Frame.VLinkColor; }
    void SetVLinkColor(TColor value) { FSettings.Frame.VLinkColor = value; }
    TColor ALinkColor() const { return FSettings.Frame.ALinkColor; }
    void SetALinkColor(TColor value) { FSettings.Frame.ALinkColor = value; }
    TColor TextColor() const { return FSettings.Frame.TextColor; }
    void SetTextColor(TColor value) { FSettings.Frame.TextColor = value; }
    bool LinkInOrder() const { return FSettings.Frame.LinkInOrder; }
    void SetLinkInOrder(bool value) { FSettings.Frame.LinkInOrder = value; }
    const QString& PrevText() const { return FSettings.Frame.PrevText; }
    void SetPrevText(const QString& value) { FSettings.Frame.PrevText = value; }
    const QString& NextText() const { return FSettings.Frame.NextText; }
    void SetNextText(const QString& value) { FSettings.Frame.NextText = value; }
    // File names of the neighbouring pictures' pages; set by the run for each picture page.
    const QString& PrevPage() const { return FSettings.Frame.PrevPage; }
    void SetPrevPage(const QString& value) { FSettings.Frame.PrevPage = value; }
    const QString& NextPage() const { return FSettings.Frame.NextPage; }
    void SetNextPage(const QString& value) { FSettings.Frame.NextPage = value; }
    bool FitToWindow() const { return FSettings.Frame.FitToWindow; }
    void SetFitToWindow(bool value) { FSettings.Frame.FitToWindow = value; }
    bool AltText() const { return FSettings.Frame.AltText; }
    void SetAltText(bool value) { FSettings.Frame.AltText = value; }
    bool CaptionUnderThumb() const { return FSettings.CaptionUnderThumb; }
    void SetCaptionUnderThumb(bool value) { FSettings.CaptionUnderThumb = value; }
    // Set by the run for each picture page that shows a smaller copy of a published original.
    const QString& OriginalFile() const { return FSettings.Frame.OriginalFile; }
    void SetOriginalFile(const QString& value) { FSettings.Frame.OriginalFile = value; }
    int PageRows() const { return FSettings.PageRows; }
    void SetPageRows(int value) { FSettings.PageRows = value; }
    // This page's place among the table's pages; set by the run for each page of a split table.
    const TTablePageLinks& TablePageLinks() const { return FPageLinks; }
    void SetTablePageLinks(const TTablePageLinks& value) { FPageLinks = value; }

    TTextTag& TableTitleTag() const { return *FTableTitleTag; }
    TTableTag& TableTag() const { return *FTableTag; }
    const TTabCellList& Cells() const { return FCells; }
    THorizLineTag& LineTag() const { return *FLineTag; }
    THrefTag& BackLinkTag() const { return *FBackLinkTag; }
    TTextTag& BackLinkTextTag() const { return *FBackLinkTextTag; }
    THrefTag& PrevLinkTag() const { return *FPrevLinkTag; }
    THrefTag& NextLinkTag() const { return *FNextLinkTag; }
    THrefTag& OriginalLinkTag() const { return *FOriginalLinkTag; }
    TFitToWindowTag& FitTag() const { return *FFitTag; }
    TPageKeysTag& KeysTag() const { return *FKeysTag; }
    TTablePagesTag& PagesTag() const { return *FPagesTag; }

protected:
    // Whether keys and swipes move to the neighbouring pages when linked in order: on a picture's page.
    virtual bool MovesByKeys() const { return false; }

    // Rebuilt by every generation and lent to the table as its cell source.
    TTabCellList FCells;

private:
    TGfxPageSettings FSettings;
    TTablePageLinks FPageLinks;

    std::shared_ptr<TTextTag> FTableTitleTag;
    std::shared_ptr<TTableTag> FTableTag;
    std::shared_ptr<THorizLineTag> FLineTag;
    std::shared_ptr<THrefTag> FBackLinkTag;
    std::shared_ptr<TTextTag> FBackLinkTextTag;
    std::shared_ptr<THrefTag> FPrevLinkTag;
    std::shared_ptr<THrefTag> FNextLinkTag;
    std::shared_ptr<THrefTag> FOriginalLinkTag;
    std::shared_ptr<TFitToWindowTag> FFitTag;
    std::shared_ptr<TPageKeysTag> FKeysTag;
    std::shared_ptr<TTablePagesTag> FPagesTag;
};

// The page of one picture: the same frame around a one-cell table showing the whole picture.
class TGfxPicPage : public TGfxThumbPage {
public:
    void Assign(const TPersistent& source) override;
    TTagGeneratorPtr NewInstance() const override;
    void BuildCells() override;

    // Full path of the picture to show. The page measures it; a kind browsers cannot show is shown by its
    // rendering beside it (BrowserViewableName), which the caller writes.
    const QString& PicFile() const { return FPicFile; }
    void SetPicFile(const QString& value) { FPicFile = value; }
    // The picture's caption (not escaped), shown under it; empty for none.
    const QString& Caption() const { return FCaption; }
    void SetCaption(const QString& value) { FCaption = value; }

protected:
    bool MovesByKeys() const override { return true; }

private:
    QString FPicFile;
    QString FCaption;
};
