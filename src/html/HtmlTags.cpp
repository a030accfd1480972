// HTML tag generators: each element writes its own text and its children's by plain concatenation.
#include "html/HtmlTags.h"

#include <cassert>
#include <cstdint>
#include <iterator>

namespace {

QString Quoted(const QString& value) {
    return '"' + value + '"';
}

// Cells and rows: the element with its unquoted alignment fragments, then CR LF in front.
void GenerateAligned(TParamerteredTag& tag, const QString& tagName, THtmlHAlign align, THtmlVAlign vAlign) {
    tag.SetTagName(tagName);
    QStringList& params = *tag.Params();
    params.clear();
    const QString hValue = HtmlHAlignValue(align);
    if (!hValue.isEmpty())
        params << "ALIGN=" + hValue;
    const QString vValue = HtmlVAlignValue(vAlign);
    if (!vValue.isEmpty())
        params << "VALIGN=" + vValue;
    tag.TTagGenerator::Generate();
    tag.SetText(kCrLf + tag.Text());
}

// A plain wrapper element around one child, as the text tag nests its caption.
TTagGeneratorPtr Wrap(TTagGeneratorPtr inner, const QString& tagName, const QString& fragment) {
    auto wrapper = std::make_shared<TParamerteredTag>();
    wrapper->SetTagName(tagName);
    *wrapper->Params() << fragment;
    wrapper->Children().Add(std::move(inner));
    return wrapper;
}

} // namespace

QString HtmlHAlignValue(THtmlHAlign align) {
    if (align == haDefault || align >= std::size(HtmlHAlignNames))
        return {};
    return QString::fromLatin1(HtmlHAlignNames[align]);
}

QString HtmlVAlignValue(THtmlVAlign align) {
    if (align == vaDefault || align >= std::size(HtmlVAlignNames))
        return {};
    return QString::fromLatin1(HtmlVAlignNames[align]);
}

QString ColorToHtml(TColor color) {
    const auto value = static_cast<std::uint32_t>(color);
    return QStringLiteral("#%1%2%3")
        .arg(value & 0xFF, 2, 16, QChar('0'))
        .arg((value >> 8) & 0xFF, 2, 16, QChar('0'))
        .arg((value >> 16) & 0xFF, 2, 16, QChar('0'))
        .toUpper();
}

QString HtmlEscape(const QString& text) {
    return text.toHtmlEscaped();
}

QString HtmlQuoteEscape(const QString& text) {
    QString result = text;
    return result.replace('"', QStringLiteral("&quot;"));
}

void TPersistent::Assign(const TPersistent&) {}

// ---- TTagGenerator

void TTagGenerator::Assign(const TPersistent& source) {
    const auto* tag = dynamic_cast<const TTagGenerator*>(&source);
    if (tag == nullptr || tag == this)
        return;
    // Copies are made before the old children go, so a source inside this tree stays readable.
    TTagList copies;
    for (int i = 0; i < tag->Children().Count(); ++i) {
        const TTagGenerator* child = tag->Children().Items(i);
        TTagGeneratorPtr copy = child->NewInstance();
        copy->Assign(*child);
        copies.Add(std::move(copy));
    }
    FText = tag->FText;
    FChildren.Swap(copies);
}

void TTagGenerator::Generate() {
    FText.clear();
    QString attributes;
    if (FParams) {
        for (const QString& fragment : *FParams)
            attributes += ' ' + fragment;
    }
    if (!FTagName.isEmpty())
        FText = '<' + FTagName + attributes + '>';
    if (FChildren.IsEmpty())
        return;
    for (int i = 0; i < FChildren.Count(); ++i) {
        TTagGenerator* child = FChildren.Items(i);
        child->Generate();
        FText += child->Text();
    }
    if (!FTagName.isEmpty())
        FText += "</" + FTagName + '>';
}

TTagGeneratorPtr TTagGenerator::NewInstance() const {
    return std::make_shared<TTagGenerator>();
}

// ---- TParamerteredTag

void TParamerteredTag::Assign(const TPersistent& source) {
    const auto* tag = dynamic_cast<const TTagGenerator*>(&source);
    if (tag != nullptr && tag->Params() != nullptr)
        *FParams = *tag->Params();
    TTagGenerator::Assign(source);
}

TTagGeneratorPtr TParamerteredTag::NewInstance() const {
    return std::make_shared<TParamerteredTag>();
}

// ---- TImageTag

void TImageTag::Assign(const TPersistent& source) {
    if (const auto* tag = dynamic_cast<const TImageTag*>(&source)) {
        FSrc = tag->FSrc;
        FAlt = tag->FAlt;
        FWidth = tag->FWidth;
        FHeight = tag->FHeight;
        FBorder = tag->FBorder;
        FLazy = tag->FLazy;
    }
    TParamerteredTag::Assign(source);
}

void TImageTag::Generate() {
    SetTagName(QStringLiteral("img"));
    *Params() = QStringList{"SRC=" + Quoted(FSrc)};
    if (!FAlt.isEmpty())
        *Params() << "ALT=" + Quoted(FAlt);
    *Params() << "BORDER=" + QString::number(FBorder) << "HEIGHT=" + QString::number(FHeight)
              << "WIDTH=" + QString::number(FWidth);
    if (FLazy)
        *Params() << QStringLiteral("loading=\"lazy\"");
    TTagGenerator::Generate();
}

TTagGeneratorPtr TImageTag::NewInstance() const {
    return std::make_shared<TImageTag>();
}

// ---- THorizLineTag

void THorizLineTag::Assign(const TPersistent& source) {
    if (const auto* tag = dynamic_cast<const THorizLineTag*>(&source))
        FWidth = tag->FWidth;
    TParamerteredTag::Assign(source);
}

void THorizLineTag::SetWidth(int value) {
    FWidth = qBound(0, value, 100);
}

void THorizLineTag::Generate() {
    if (FWidth == 0) {
        SetText({});
        return;
    }
    SetTagName(QStringLiteral("hr"));
    *Params() = QStringList{"WIDTH=" + Quoted(QString::number(FWidth) + '%')};
    TTagGenerator::Generate();
}

TTagGeneratorPtr THorizLineTag::NewInstance() const {
    return std::make_shared<THorizLineTag>();
}

// ---- THrefTag

void THrefTag::Assign(const TPersistent& source) {
    if (const auto* tag = dynamic_cast<const THrefTag*>(&source))
        FHref = tag->FHref;
    TParamerteredTag::Assign(source);
}

void THrefTag::Generate() {
    // No target, no link: the children are not written either.
    if (FHref.isEmpty()) {
        SetText({});
        return;
    }
    SetTagName(QStringLiteral("a"));
    *Params() = QStringList{"href=" + Quoted(FHref)};
    TTagGenerator::Generate();
}

TTagGeneratorPtr THrefTag::NewInstance() const {
    return std::make_shared<THrefTag>();
}

// ---- TTabCellTag, TTablRowTag

void TTabCellTag::Assign(const TPersistent& source) {
    if (const auto* tag = dynamic_cast<const TTabCellTag*>(&source)) {
        FAlign = tag->FAlign;
        FVAlign = tag->FVAlign;
    }
    TParamerteredTag::Assign(source);
}

void TTabCellTag::Generate() {
    GenerateAligned(*this, QStringLiteral("td"), FAlign, FVAlign);
}

TTagGeneratorPtr TTabCellTag::NewInstance() const {
    return std::make_shared<TTabCellTag>();
}

void TTablRowTag::Assign(const TPersistent& source) {
    if (const auto* tag = dynamic_cast<const TTablRowTag*>(&source)) {
        FAlign = tag->FAlign;
        FVAlign = tag->FVAlign;
    }
    TParamerteredTag::Assign(source);
}

void TTablRowTag::Generate() {
    GenerateAligned(*this, QStringLiteral("tr"), FAlign, FVAlign);
}

TTagGeneratorPtr TTablRowTag::NewInstance() const {
    return std::make_shared<TTablRowTag>();
}

// ---- TTableTag

void TTableTag::Assign(const TPersistent& source) {
    // The cell source is not copied: it belongs to the source's owner and may not outlive the copy.
    if (const auto* tag = dynamic_cast<const TTableTag*>(&source)) {
        FCellSpacing = tag->FCellSpacing;
        FCellPadding = tag->FCellPadding;
        FRows = tag->FRows;
        FColumns = tag->FColumns;
        FAlign = tag->FAlign;
    }
    TParamerteredTag::Assign(source);
}

void TTableTag::Generate() {
    SetTagName(QStringLiteral("table"));
    *Params() = QStringList{"CELLSPACING=" + QString::number(FCellSpacing),
                            "CELLPADDING=" + QString::number(FCellPadding)};
    Children().Clear();
    const qint64 sourceCount = FCells != nullptr ? static_cast<qint64>(FCells->size()) : 0;
    for (int r = 0; r < FRows; ++r) {
        auto row = std::make_shared<TTablRowTag>();
        for (int c = 0; c < FColumns; ++c) {
            auto cell = std::make_shared<TTabCellTag>();
            const qint64 i = static_cast<qint64>(r) * FColumns + c;
            if (i < sourceCount) {
                const TTabCellTag* from = (*FCells)[static_cast<size_t>(i)].get();
                assert(from != nullptr);
                cell->Assign(*from);
            }
            row->Children().Add(std::move(cell));
        }
        Children().Add(std::move(row));
    }
    TTagGenerator::Generate();
    const QString align = HtmlHAlignValue(FAlign);
    if (!align.isEmpty())
        SetText("<div align=" + Quoted(align) + '>' + Text() + "</div>");
    SetText(kCrLf + Text());
}

TTagGeneratorPtr TTableTag::NewInstance() const {
    return std::make_shared<TTableTag>();
}

// ---- TMetaTag, TCharsetTag

void TMetaTag::Assign(const TPersistent& source) {
    if (const auto* tag = dynamic_cast<const TMetaTag*>(&source)) {
        FName = tag->FName;
        FContent = tag->FContent;
    }
    TParamerteredTag::Assign(source);
}

void TMetaTag::Generate() {
    SetTagName(QStringLiteral("meta"));
    *Params() = QStringList{"name=" + Quoted(FName), "content=" + Quoted(FContent)};
    TTagGenerator::Generate();
    SetText(kCrLf + Text());
}

TTagGeneratorPtr TMetaTag::NewInstance() const {
    return std::make_shared<TMetaTag>();
}

void TCharsetTag::Generate() {
    SetTagName(QStringLiteral("meta"));
    *Params() = QStringList{QStringLiteral("charset=\"utf-8\"")};
    TTagGenerator::Generate();
    SetText(kCrLf + Text());
}

TTagGeneratorPtr TCharsetTag::NewInstance() const {
    return std::make_shared<TCharsetTag>();
}

// ---- TBodyTag

void TBodyTag::Assign(const TPersistent& source) {
    if (const auto* tag = dynamic_cast<const TBodyTag*>(&source)) {
        FBackground = tag->FBackground;
        FLinkColor = tag->FLinkColor;
        FVLinkColor = tag->FVLinkColor;
        FALinkColor = tag->FALinkColor;
        FTextColor = tag->FTextColor;
    }
    TParamerteredTag::Assign(source);
}

void TBodyTag::Generate() {
    SetTagName(QStringLiteral("body"));
    QStringList& params = *Params();
    params.clear();
    if (!FBackground.isEmpty())
        params << "background=" + Quoted(FBackground);
    const std::pair<const char*, TColor> colors[] = {
        {"text=", FTextColor}, {"link=", FLinkColor}, {"vlink=", FVLinkColor}, {"alink=", FALinkColor}};
    for (const auto& [name, color] : colors) {
        if (color != clNone)
            params << QString::fromLatin1(name) + Quoted(ColorToHtml(color));
    }
    TTagGenerator::Generate();
    SetText(kCrLf + Text());
}

TTagGeneratorPtr TBodyTag::NewInstance() const {
    return std::make_shared<TBodyTag>();
}

// ---- TTextTag

void TTextTag::Assign(const TPersistent& source) {
    if (const auto* tag = dynamic_cast<const TTextTag*>(&source)) {
        FFontSize = tag->FFontSize;
        FColor = tag->FColor;
        FAlign = tag->FAlign;
        FCaption = tag->FCaption;
    }
    TParamerteredTag::Assign(source);
}

void TTextTag::Generate() {
    Children().Clear();
    if (FCaption.isEmpty()) {
        SetText({});
        return;
    }
    auto caption = std::make_shared<TTextCaption>();
    caption->SetCaption(FCaption);
    // Nested from the inside out: caption, size, colour, division.
    TTagGeneratorPtr outer = caption;
    if (FFontSize != 0)
        outer = Wrap(outer, "font", "size=" + QString(FFontSize > 0 ? "+" : "") + QString::number(FFontSize));
    if (FColor != clNone)
        outer = Wrap(outer, "font", "color=" + Quoted(ColorToHtml(FColor)));
    const QString align = HtmlHAlignValue(FAlign);
    if (!align.isEmpty())
        outer = Wrap(outer, "div", "align=" + Quoted(align));
    Children().Add(std::move(outer));
    TTagGenerator::Generate();
}

TTagGeneratorPtr TTextTag::NewInstance() const {
    return std::make_shared<TTextTag>();
}

// ---- TTitleTag, THeadTag

void TTitleTag::Assign(const TPersistent& source) {
    if (const auto* tag = dynamic_cast<const TTitleTag*>(&source))
        FTitle = tag->FTitle;
    TTagGenerator::Assign(source);
}

void TTitleTag::Generate() {
    SetText(kCrLf + "<title>" + FTitle + "</title>");
}

TTagGeneratorPtr TTitleTag::NewInstance() const {
    return std::make_shared<TTitleTag>();
}

void THeadTag::Generate() {
    SetTagName(QStringLiteral("head"));
    TTagGenerator::Generate();
    SetText(kCrLf + Text());
}

TTagGeneratorPtr THeadTag::NewInstance() const {
    return std::make_shared<THeadTag>();
}

// ---- TTextCaption

void TTextCaption::Assign(const TPersistent& source) {
    if (const auto* tag = dynamic_cast<const TTextCaption*>(&source))
        FLines = tag->FLines;
    TTagGenerator::Assign(source);
}

void TTextCaption::SetCaption(const QString& text) {
    FLines.clear();
    QString line;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text[i];
        if (ch != '\r' && ch != '\n') {
            line += ch;
            continue;
        }
        FLines << line;
        line.clear();
        if (ch == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
    }
    if (!line.isEmpty())
        FLines << line;
}

QString TTextCaption::Caption() const {
    QString text;
    for (const QString& line : FLines)
        text += line + kCrLf;
    return text;
}

void TTextCaption::Generate() {
    SetText(FLines.join(QStringLiteral("<br>")));
}

TTagGeneratorPtr TTextCaption::NewInstance() const {
    return std::make_shared<TTextCaption>();
}
