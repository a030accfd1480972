// The list that carries one generation run's pictures from the grid to the thumbnail table page.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <QString>

#include "html/HtmlTags.h"

class EGfxListsException : public Exception {
public:
    using Exception::Exception;
};

// One grid position: picture and thumbnail names relative to the list's BaseDir, and the picture's
// measurements. Both names empty stands for an empty position.
class TThumbListItem : public TPersistent {
public:
    const QString& ThumbName() const { return FThumbName; }
    void SetThumbName(const QString& value) { FThumbName = value; }
    const QString& PicName() const { return FPicName; }
    void SetPicName(const QString& value) { FPicName = value; }
    // The file the picture's page shows when it is not the picture itself (a smaller copy for the web);
    // the table page measures it for the information under the thumbnail. Empty: PicName.
    const QString& ShownName() const { return FShownName; }
    void SetShownName(const QString& value) { FShownName = value; }
    int FileSize() const { return FFileSize; }
    void SetFileSize(int value) { FFileSize = value; }
    int Height() const { return FHeight; }
    void SetHeight(int value) { FHeight = value; }
    int Width() const { return FWidth; }
    void SetWidth(int value) { FWidth = value; }
    // The picture's caption as the user sees it (not escaped); empty for none.
    const QString& Caption() const { return FCaption; }
    void SetCaption(const QString& value) { FCaption = value; }

private:
    QString FCaption;
    QString FThumbName;
    QString FPicName;
    QString FShownName;
    int FFileSize = 0;
    int FHeight = 0;
    int FWidth = 0;
};

class TThumbnailList;
// Sender and the full path of the picture about to be measured.
using TThumbListProgress = std::function<void(TThumbnailList* sender, const QString& fileName)>;

// Owns its entries: clearing or destroying the list destroys them.
class TThumbnailList {
public:
    TThumbnailList() = default;
    TThumbnailList(const TThumbnailList&) = delete;
    TThumbnailList& operator=(const TThumbnailList&) = delete;

    // A new empty entry at the end.
    TThumbListItem* Add();
    int Count() const { return static_cast<int>(FItems.size()); }
    TThumbListItem* Items(int index) const { return FItems.at(index).get(); }
    void Clear() { FItems.clear(); }

    // The directory the names are relative to; names are appended to it as they are, so it ends in '/'.
    const QString& BaseDir() const { return FBaseDir; }
    void SetBaseDir(const QString& value) { FBaseDir = value; }
    const TThumbListProgress& OnProgress() const { return FOnProgress; }
    void SetOnProgress(TThumbListProgress value) { FOnProgress = std::move(value); }

    // Measures every entry's picture and proves its thumbnail readable; stops at the first failure.
    void UpdateInfo();

private:
    std::vector<std::unique_ptr<TThumbListItem>> FItems;
    QString FBaseDir;
    TThumbListProgress FOnProgress;
};
