// A grid cell's picture: the preview bitmap with the picture's stored size and file size.
#include "grid/GfxGrid.h"

#include <sys/stat.h>

#include <QFile>

#include "gfx/GfxMeasure.h"
#include "html/HtmlTags.h"

TFileStamp TFileStamp::Of(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    const auto nanoseconds = [](const timespec& t) {
        return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec;
    };
    return {static_cast<long long>(info.st_size), nanoseconds(info.st_mtim), nanoseconds(info.st_ctim),
            static_cast<unsigned long long>(info.st_ino), static_cast<unsigned long long>(info.st_dev)};
}

void TGfxGridItem::LoadPicture(const QString& name) {
    const bool loads = !name.isEmpty() && name != FileName();
    TGfxBaseIm::LoadPicture(name);
    int width = 0;
    int height = 0;
    int size = 0;
    // The picture just loaded gives the size a header cannot (PNG, HEIC, ...): it is not decoded again.
    const QString refusal = MeasurePictureFile(
        name, width, height, size, loads ? std::optional(QSize(Width(), Height())) : std::nullopt);
    if (!refusal.isEmpty())
        throw EGfxHtmlException(refusal);
    SetPictureInfo(width, height, size);
}

void TGfxGridItem::SetPictureInfo(int imageWidth, int imageHeight, int fileSize) {
    FImageWidth = imageWidth;
    FImageHeight = imageHeight;
    FFileSize = fileSize;
}

std::shared_ptr<const TGfxBaseIm> TGfxGridItem::Fitted(const QSize& box, const TFileStamp& now) const {
    if (!FFitted || !box.isValid() || box != FFittedBox || now.Size < 0 || now != FFittedStamp)
        return nullptr;
    return FFitted;
}

void TGfxGridItem::SetFitted(std::shared_ptr<const TGfxBaseIm> fitted, const QSize& box,
                             const TFileStamp& stamp) {
    const bool keep = fitted && box.isValid() && stamp.Size >= 0 &&
                      static_cast<long long>(fitted->Width()) * fitted->Height() <= kMaxKeptFitPixels;
    FFitted = keep ? std::move(fitted) : nullptr;
    FFittedBox = keep ? box : QSize();
    FFittedStamp = keep ? stamp : TFileStamp();
}
