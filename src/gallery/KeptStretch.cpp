// The kept stretch of a picture and the stamp of its file.
#include "gallery/KeptStretch.h"

#include <sys/stat.h>

#include <QFile>

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

std::shared_ptr<const TGfxBaseIm> TKeptStretch::For(const QSize& box, const TFileStamp& now) const {
    if (!FFitted || !box.isValid() || box != FBox || now.Size < 0 || now != FStamp)
        return nullptr;
    return FFitted;
}

void TKeptStretch::Keep(std::shared_ptr<const TGfxBaseIm> fitted, const QSize& box, const TFileStamp& stamp) {
    const bool keep = fitted && box.isValid() && stamp.Size >= 0 &&
                      static_cast<long long>(fitted->Width()) * fitted->Height() <= kMaxKeptFitPixels;
    FFitted = keep ? std::move(fitted) : nullptr;
    FBox = keep ? box : QSize();
    FStamp = keep ? stamp : TFileStamp();
}
