// HTML tag generators: an object tree that writes HTML text, the HTML page and the picture measurer.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include <QString>
#include <QStringList>

#include "common/VlxTypes.h"

class EGfxHtmlException : public Exception {
public:
    using Exception::Exception;
};

// Horizontal alignment; the value is the item index of the alignment combo boxes.
enum THtmlHAlign : std::uint8_t { haDefault, haLeft, haRight, haCenter };
// Vertical alignment; the value is the item index of the alignment combo boxes.
enum THtmlVAlign : std::uint8_t { vaDefault, vaTop, vaMiddle, vaBottom, vaBaseline };

// The line break of every generated page.
inline const QString kCrLf = QStringLiteral("\r\n");

inline constexpr const char* HtmlHAlignNames[] = {"Default", "Left", "Right", "Center"};
inline constexpr const char* HtmlVAlignNames[] = {"Default", "Top", "Middle", "Bottom", "Baseline"};

// The attribute value of an alignment; empty for the default (and for a value outside the table,
// which may come from a damaged profile), meaning the attribute is left out.
QString HtmlHAlignValue(THtmlHAlign align);
QString HtmlVAlignValue(THtmlVAlign align);

// "#RRGGBB" in upper case from a 0x00BBGGRR colour; the top byte is ignored.
QString ColorToHtml(TColor color);

// Text made safe for HTML text and attribute values: & < > " become entities.
QString HtmlEscape(const QString& text);
// A user's attribute value kept as typed except for the one character that would end it: " becomes &quot;.
QString HtmlQuoteEscape(const QString& text);

// Root of everything that can be copied with Assign.
class TPersistent {
public:
    virtual ~TPersistent() = default;
    virtual void Assign(const TPersistent& source);
};

class TTagGenerator;
using TTagGeneratorPtr = std::shared_ptr<TTagGenerator>;

// The child generators of a generator. Shared pointers because a page keeps its own parts
// (head, body, title) while they also sit in the tree; clearing drops the list's hold on them.
class TTagList {
public:
    template <class T> T* Add(std::shared_ptr<T> item) {
        T* raw = item.get();
        FItems.push_back(std::move(item));
        return raw;
    }
    int Count() const { return static_cast<int>(FItems.size()); }
    bool IsEmpty() const { return FItems.empty(); }
    TTagGenerator* Items(int index) const { return FItems.at(index).get(); }
    const TTagGeneratorPtr& Ptr(int index) const { return FItems.at(index); }
    void Clear() { FItems.clear(); }
    void Swap(TTagList& other) { FItems.swap(other.FItems); }

private:
    std::vector<TTagGeneratorPtr> FItems;
};

// An element: its name, its attribute fragments, its children; Generate rebuilds Text.
class TTagGenerator : public TPersistent {
public:
    TTagGenerator() = default;
    TTagGenerator(const TTagGenerator&) = delete;
    TTagGenerator& operator=(const TTagGenerator&) = delete;

    void Assign(const TPersistent& source) override;
    // The base algorithm: opening tag with attributes, children, closing tag only after a child.
    virtual void Generate();
    // A new generator of this object's own class with its constructed defaults (used by Assign).
    virtual TTagGeneratorPtr NewInstance() const;

    const QString& TagName() const { return FTagName; }
    void SetTagName(const QString& name) { FTagName = name; }
    const QString& Text() const { return FText; }
    void SetText(const QString& text) { FText = text; }
    // Attribute fragments ("name=value"), or nullptr when this generator has none.
    QStringList* Params() { return FParams ? &*FParams : nullptr; }
    const QStringList* Params() const { return FParams ? &*FParams : nullptr; }
    TTagList& Children() { return FChildren; }
    const TTagList& Children() const { return FChildren; }

protected:
    std::optional<QStringList> FParams;

private:
    QString FTagName;
    TTagList FChildren;
    QString FText;
};

// A generator with an attribute list; used as a plain wrapper element by giving it a name and fragments.
class TParamerteredTag : public TTagGenerator {
public:
    TParamerteredTag() { FParams.emplace(); }
    void Assign(const TPersistent& source) override;
    TTagGeneratorPtr NewInstance() const override;
};

class TImageTag : public TParamerteredTag {
public:
    void Assign(const TPersistent& source) override;
    void Generate() override;
    TTagGeneratorPtr NewInstance() const override;

    int Border() const { return FBorder; }
    void SetBorder(int value) { FBorder = value; }
    int Height() const { return FHeight; }
    void SetHeight(int value) { FHeight = value; }
    int Width() const { return FWidth; }
    void SetWidth(int value) { FWidth = value; }
    const QString& Src() const { return FSrc; }
    void SetSrc(const QString& value) { FSrc = value; }
    // The text alternative, written as given (escaped by the caller); empty writes no ALT.
    const QString& Alt() const { return FAlt; }
    void SetAlt(const QString& value) { FAlt = value; }
    // Loaded only when scrolled near the window (loading="lazy"); off, the tag is written as before.
    bool Lazy() const { return FLazy; }
    void SetLazy(bool value) { FLazy = value; }

private:
    bool FLazy = false;
    int FBorder = 0;
    int FHeight = 0;
    int FWidth = 0;
    QString FSrc;
    QString FAlt;
};

class THorizLineTag : public TParamerteredTag {
public:
    void Assign(const TPersistent& source) override;
    void Generate() override;
    TTagGeneratorPtr NewInstance() const override;

    // Percent of the page width, clamped to 0..100; 0 writes no rule.
    int Width() const { return FWidth; }
    void SetWidth(int value);

private:
    int FWidth = 0;
};

class THrefTag : public TParamerteredTag {
public:
    void Assign(const TPersistent& source) override;
    void Generate() override;
    TTagGeneratorPtr NewInstance() const override;

    const QString& Href() const { return FHref; }
    void SetHref(const QString& value) { FHref = value; }

private:
    QString FHref;
};

class TTabCellTag : public TParamerteredTag {
public:
    void Assign(const TPersistent& source) override;
    void Generate() override;
    TTagGeneratorPtr NewInstance() const override;

    THtmlHAlign Align() const { return FAlign; }
    void SetAlign(THtmlHAlign value) { FAlign = value; }
    THtmlVAlign VAlign() const { return FVAlign; }
    void SetVAlign(THtmlVAlign value) { FVAlign = value; }

private:
    THtmlHAlign FAlign = haDefault;
    THtmlVAlign FVAlign = vaDefault;
};

class TTablRowTag : public TParamerteredTag {
public:
    void Assign(const TPersistent& source) override;
    void Generate() override;
    TTagGeneratorPtr NewInstance() const override;

    THtmlHAlign Align() const { return FAlign; }
    void SetAlign(THtmlHAlign value) { FAlign = value; }
    THtmlVAlign VAlign() const { return FVAlign; }
    void SetVAlign(THtmlVAlign value) { FVAlign = value; }

private:
    THtmlHAlign FAlign = haDefault;
    THtmlVAlign FVAlign = vaDefault;
};

// The cell source of a table: owned by whoever fills it, only read by the table.
using TTabCellList = std::vector<std::unique_ptr<TTabCellTag>>;

class TTableTag : public TParamerteredTag {
public:
    void Assign(const TPersistent& source) override;
    void Generate() override;
    TTagGeneratorPtr NewInstance() const override;

    int CellSpacing() const { return FCellSpacing; }
    void SetCellSpacing(int value) { FCellSpacing = value; }
    int CellPadding() const { return FCellPadding; }
    void SetCellPadding(int value) { FCellPadding = value; }
    int Columns() const { return FColumns; }
    void SetColumns(int value) { FColumns = value; }
    int Rows() const { return FRows; }
    void SetRows(int value) { FRows = value; }
    // Not owned; copied from (never changed) on every generation.
    const TTabCellList* Cells() const { return FCells; }
    void SetCells(const TTabCellList* value) { FCells = value; }
    THtmlHAlign Align() const { return FAlign; }
    void SetAlign(THtmlHAlign value) { FAlign = value; }

private:
    int FCellSpacing = 0;
    int FCellPadding = 0;
    int FColumns = 0;
    int FRows = 0;
    const TTabCellList* FCells = nullptr;
    THtmlHAlign FAlign = haDefault;
};

class TMetaTag : public TParamerteredTag {
public:
    void Assign(const TPersistent& source) override;
    void Generate() override;
    TTagGeneratorPtr NewInstance() const override;

    const QString& Content() const { return FContent; }
    void SetContent(const QString& value) { FContent = value; }
    const QString& Name() const { return FName; }
    void SetName(const QString& value) { FName = value; }

private:
    QString FContent;
    QString FName;
};

// <meta charset="utf-8"> on a line of its own: pages hold UTF-8 names and titles.
class TCharsetTag : public TParamerteredTag {
public:
    void Generate() override;
    TTagGeneratorPtr NewInstance() const override;
};

class TBodyTag : public TParamerteredTag {
public:
    void Assign(const TPersistent& source) override;
    void Generate() override;
    TTagGeneratorPtr NewInstance() const override;

    const QString& Background() const { return FBackground; }
    void SetBackground(const QString& value) { FBackground = value; }
    TColor LinkColor() const { return FLinkColor; }
    void SetLinkColor(TColor value) { FLinkColor = value; }
    TColor VLinkColor() const { return FVLinkColor; }
    void SetVLinkColor(TColor value) { FVLinkColor = value; }
    TColor ALinkColor() const { return FALinkColor; }
    void SetALinkColor(TColor value) { FALinkColor = value; }
    TColor TextColor() const { return FTextColor; }
    void SetTextColor(TColor value) { FTextColor = value; }

private:
    QString FBackground;
    TColor FLinkColor = clNone;
    TColor FVLinkColor = clNone;
    TColor FALinkColor = clNone;
    TColor FTextColor = clNone;
};

class TTextTag : public TParamerteredTag {
public:
    void Assign(const TPersistent& source) override;
    void Generate() override;
    TTagGeneratorPtr NewInstance() const override;

    // Relative HTML font size; 0 writes no size wrapper.
    int FontSize() const { return FFontSize; }
    void SetFontSize(int value) { FFontSize = value; }
    const QString& Caption() const { return FCaption; }
    void SetCaption(const QString& value) { FCaption = value; }
    TColor Color() const { return FColor; }
    void SetColor(TColor value) { FColor = value; }
    THtmlHAlign Align() const { return FAlign; }
    void SetAlign(THtmlHAlign value) { FAlign = value; }

private:
    int FFontSize = 0;
    QString FCaption;
    TColor FColor = clNone;
    THtmlHAlign FAlign = haDefault;
};

class TTitleTag : public TTagGenerator {
public:
    void Assign(const TPersistent& source) override;
    void Generate() override;
    TTagGeneratorPtr NewInstance() const override;

    const QString& Title() const { return FTitle; }
    void SetTitle(const QString& value) { FTitle = value; }

private:
    QString FTitle;
};

class THeadTag : public TTagGenerator {
public:
    void Generate() override;
    TTagGeneratorPtr NewInstance() const override;
};

// Lines of text joined with <br>; no element of its own.
class TTextCaption : public TTagGenerator {
public:
    void Assign(const TPersistent& source) override;
    void Generate() override;
    TTagGeneratorPtr NewInstance() const override;

    const QStringList& Lines() const { return FLines; }
    // Splits at CR LF, CR or LF; a final line break adds no empty line.
    void SetCaption(const QString& text);
    // The lines, each followed by CR LF.
    QString Caption() const;

private:
    QStringList FLines;
};

// A whole document: <html> holding the head (with the title) and the body.
class THtmlPage : public TTagGenerator {
public:
    THtmlPage();

    // Copies another page's text, title, head content and body; the page keeps its own head, body and title.
    void Assign(const TPersistent& source) override;
    // Attaches the title to the head on the first generation, then writes the document.
    void Generate() override;
    TTagGeneratorPtr NewInstance() const override;

    THeadTag& Head() const { return *FHead; }
    TTitleTag& TitleTag() const { return *FTitleTag; }
    TBodyTag& Body() const { return *FBody; }

private:
    std::shared_ptr<THeadTag> FHead;
    std::shared_ptr<TTitleTag> FTitleTag;
    std::shared_ptr<TBodyTag> FBody;
};

// Measures a picture file: pixel width and height and byte size. A missing file raises
// "File: <fileName> not found"; a file that is no readable picture raises the picture loader's error.
void GetPictureInfo(const QString& fileName, int& width, int& height, int& fileSize);
