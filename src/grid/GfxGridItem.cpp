// A grid cell's picture: the preview bitmap with the picture's stored size and file size.
#include "grid/GfxGrid.h"

#include <filesystem>
#include <system_error>

#include <QFile>

#include "gfx/GfxMeasure.h"
#include "html/HtmlTags.h"

TFileStamp TFileStamp::Of(const QString& path) {
    const std::filesystem::path file(QFile::encodeName(path).toStdString());
    std::error_code error;
    const auto size = std::filesystem::file_size(file, error);
    if (error)
        return {};
    const auto modified = std::filesystem::last_write_time(file, error);
    if (error)
        return {};
    return {static_cast<long long>(size),
            static_cast<long long>(
                std::chrono::duration_cast<std::chrono::nanoseconds>(modified.time_since_epoch()).count())};
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
