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

// The thumbnail table page: title line, a table of linked thumbnails, rule, back link and credit line.
class TGfxThumbPage : public THtmlPage {
public:
    TGfxThumbPage();

    // Copies another gallery page's settings (and its last text); the tree follows them on generation.
    void Assign(const TPersistent& source) override;
    // Copies the settings into the tree, builds the cells and writes the document into Text.
    void Generate() override;
    TTagGeneratorPtr NewInstance() const override;
    // Fills Cells: one linked thumbnail per list entry, measured from the files.
    virtual void BuildCells();
    // Generates the page and writes it as UTF-8. Nothing is written when generating fails, and the
    // file under FileName is replaced only by a complete page.
    void SaveToFile(const QString& fileName);

    const QString& Title() const { return FTitle; }
    void SetTitle(const QString& value) { FTitle = value; }
    // A file name, relative to the page.
    const QString& Background() const { return FBackground; }
    void SetBackground(const QString& value) { FBackground = value; }
    const QString& TableTitle() const { return FTableTitle; }
    void SetTableTitle(const QString& value) { FTableTitle = value; }
    // Not owned; only read during Generate.
    TThumbnailList* ThumbList() const { return FThumbList; }
    void SetThumbList(TThumbnailList* value) { FThumbList = value; }
    int Columns() const { return FColumns; }
    void SetColumns(int value) { FColumns = value; }
    int Rows() const { return FRows; }
    void SetRows(int value) { FRows = value; }
    int CellSpacing() const { return FCellSpacing; }
    void SetCellSpacing(int value) { FCellSpacing = value; }
    TPicInfo PicInfo() const { return FPicInfo; }
    void SetPicInfo(TPicInfo value) { FPicInfo = value; }
    int PicInfoFontSize() const { return FPicInfoFontSize; }
    void SetPicInfoFontSize(int value) { FPicInfoFontSize = value; }
    TColor PicInfoColor() const { return FPicInfoColor; }
    void SetPicInfoColor(TColor value) { FPicInfoColor = value; }
    THtmlHAlign PicInfoAlign() const { return FPicInfoAlign; }
    void SetPicInfoAlign(THtmlHAlign value) { FPicInfoAlign = value; }
    int TableTitleFontSize() const { return FTableTitleFontSize; }
    void SetTableTitleFontSize(int value) { FTableTitleFontSize = value; }
    TColor TableTitleColor() const { return FTableTitleColor; }
    void SetTableTitleColor(TColor value) { FTableTitleColor = value; }
    THtmlHAlign TableTitleAlign() const { return FTableTitleAlign; }
    void SetTableTitleAlign(THtmlHAlign value) { FTableTitleAlign = value; }
    THtmlHAlign TableAlign() const { return FTableAlign; }
    void SetTableAlign(THtmlHAlign value) { FTableAlign = value; }
    int BackLinkFontSize() const { return FBackLinkFontSize; }
    void SetBackLinkFontSize(int value) { FBackLinkFontSize = value; }
    const QString& BackLink() const { return FBackLink; }
    void SetBackLink(const QString& value) { FBackLink = value; }
    THtmlHAlign BackLinkAlign() const { return FBackLinkAlign; }
    void SetBackLinkAlign(THtmlHAlign value) { FBackLinkAlign = value; }
    int LineWidth() const { return FLineWidth; }
    void SetLineWidth(int value) { FLineWidth = value; }
    const QString& BackLinkText() const { return FBackLinkText; }
    void SetBackLinkText(const QString& value) { FBackLinkText = value; }
    TColor LinkColor() const { return FLinkColor; }
    void SetLinkColor(TColor value) { FLinkColor = value; }
    TColor VLinkColor() const { return FVLinkColor; }
    void SetVLinkColor(TColor value) { FVLinkColor = value; }
    TColor ALinkColor() const { return FALinkColor; }
    void SetALinkColor(TColor value) { FALinkColor = value; }
    TColor TextColor() const { return FTextColor; }
    void SetTextColor(TColor value) { FTextColor = value; }

    TTextTag& TableTitleTag() const { return *FTableTitleTag; }
    TTableTag& TableTag() const { return *FTableTag; }
    const TTabCellList& Cells() const { return FCells; }
    THorizLineTag& LineTag() const { return *FLineTag; }
    THrefTag& BackLinkTag() const { return *FBackLinkTag; }
    TTextTag& BackLinkTextTag() const { return *FBackLinkTextTag; }

protected:
    // Rebuilt by every generation and lent to the table as its cell source.
    TTabCellList FCells;

private:
    QString FTitle;
    QString FBackground;
    QString FTableTitle;
    TThumbnailList* FThumbList = nullptr;
    int FColumns = 1;
    int FRows = 1;
    int FCellSpacing = 0;
    TPicInfo FPicInfo = 0;
    int FPicInfoFontSize = -1;
    TColor FPicInfoColor = clNone;
    THtmlHAlign FPicInfoAlign = haDefault;
    int FTableTitleFontSize = 0;
    TColor FTableTitleColor = clNone;
    THtmlHAlign FTableTitleAlign = haDefault;
    THtmlHAlign FTableAlign = haDefault;
    int FBackLinkFontSize = 0;
    QString FBackLink;
    THtmlHAlign FBackLinkAlign = haDefault;
    int FLineWidth = 0;
    QString FBackLinkText;
    TColor FLinkColor = clNone;
    TColor FVLinkColor = clNone;
    TColor FALinkColor = clNone;
    TColor FTextColor = clNone;

    std::shared_ptr<TTextTag> FTableTitleTag;
    std::shared_ptr<TTableTag> FTableTag;
    std::shared_ptr<THorizLineTag> FLineTag;
    std::shared_ptr<THrefTag> FBackLinkTag;
    std::shared_ptr<TTextTag> FBackLinkTextTag;
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

private:
    QString FPicFile;
};
