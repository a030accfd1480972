// The HTML page (the root of a generator tree) and the picture measurer of the page unit.
#include "html/HtmlTags.h"

#include <typeinfo>

#include "gfx/GfxMeasure.h"

THtmlPage::THtmlPage()
    : FHead(std::make_shared<THeadTag>()), FTitleTag(std::make_shared<TTitleTag>()),
      FBody(std::make_shared<TBodyTag>()) {
    SetTagName(QStringLiteral("html"));
    Children().Add(FHead);
    Children().Add(FBody);
}

void THtmlPage::Assign(const TPersistent& source) {
    // The plain deep copy would replace the head and body in the tree with copies that the page's own
    // references never see; so the content is copied into them instead. Only a page can be copied here.
    const auto* page = dynamic_cast<const THtmlPage*>(&source);
    if (page == nullptr || page == this)
        return;
    SetText(page->Text());
    FTitleTag->SetTitle(page->FTitleTag->Title());
    FBody->Assign(*page->FBody);
    TTagList headChildren;
    for (int i = 0; i < page->FHead->Children().Count(); ++i) {
        const TTagGeneratorPtr& child = page->FHead->Children().Ptr(i);
        if (child == page->FTitleTag) {
            headChildren.Add(FTitleTag);
            continue;
        }
        TTagGeneratorPtr copy = child->NewInstance();
        copy->Assign(*child);
        headChildren.Add(std::move(copy));
    }
    FHead->Children().Swap(headChildren);
}

void THtmlPage::Generate() {
    bool hasTitle = false;
    for (int i = 0; i < FHead->Children().Count() && !hasTitle; ++i) {
        const TTagGenerator& child = *FHead->Children().Items(i);
        hasTitle = typeid(child) == typeid(TTitleTag);
    }
    if (!hasTitle)
        FHead->Children().Add(FTitleTag);
    TTagGenerator::Generate();
}

TTagGeneratorPtr THtmlPage::NewInstance() const {
    return std::make_shared<THtmlPage>();
}

void GetPictureInfo(const QString& fileName, int& width, int& height, int& fileSize) {
    const QString refusal = MeasurePictureFile(fileName, width, height, fileSize);
    if (!refusal.isEmpty())
        throw EGfxHtmlException(refusal);
}
