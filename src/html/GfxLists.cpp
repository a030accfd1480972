// The thumbnail list of a generation run and its measuring.
#include "html/GfxLists.h"

#include "gfx/GfxMeasure.h"

namespace {

// The picture unit's measurer, raising this unit's exception for a file it cannot measure.
void MeasureListFile(const QString& fileName, int& width, int& height, int& fileSize) {
    const QString refusal = MeasurePictureFile(fileName, width, height, fileSize);
    if (!refusal.isEmpty())
        throw EGfxListsException(refusal);
}

} // namespace

TThumbListItem* TThumbnailList::Add() {
    FItems.push_back(std::make_unique<TThumbListItem>());
    return FItems.back().get();
}

void TThumbnailList::UpdateInfo() {
    for (int i = 0; i < Count(); ++i) {
        if (FOnProgress) {
            FOnProgress(this, FBaseDir + Items(i)->PicName());
            // The handler may process pending events, and with them a command that empties the list.
            if (i >= Count())
                break;
        }
        TThumbListItem* item = Items(i);
        if (item->PicName().isEmpty() && item->ThumbName().isEmpty())
            continue;
        int width = 0;
        int height = 0;
        int fileSize = 0;
        MeasureListFile(FBaseDir + item->PicName(), width, height, fileSize);
        item->SetWidth(width);
        item->SetHeight(height);
        item->SetFileSize(fileSize);
        // Only proves that the thumbnail exists and reads as a picture.
        int thumbWidth = 0;
        int thumbHeight = 0;
        int thumbSize = 0;
        MeasureListFile(FBaseDir + item->ThumbName(), thumbWidth, thumbHeight, thumbSize);
    }
}
