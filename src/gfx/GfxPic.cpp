// The picture holder and the free functions that fit, stretch and tile its bitmaps.
#include "gfx/GfxPic.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <utility>

#include "common/VlxSaveFile.h"
#include "gfx/GfxDecode.h"
#include "gfx/GfxJpeg.h"
#include "gfx/GfxJpegSource.h"
#include "gfx/GfxSampling.h"
#include "gfx/GfxShrink.h"

const QStringList BevelStyleNames = {QStringLiteral("None"), QStringLiteral("Raised"),
                                     QStringLiteral("Lowered")};
const QStringList MaskStyleNames = {QStringLiteral("None"), QStringLiteral("Rectangle"),
                                    QStringLiteral("Round Rectangle"), QStringLiteral("Ellipse")};

TGfxBaseIm::TGfxBaseIm() = default;

TGfxBaseIm::~TGfxBaseIm() = default;

int TGfxBaseIm::Width() const {
    return FJpeg.Waiting() ? FJpeg.Source().Width() : FBitmap.width();
}

int TGfxBaseIm::Height() const {
    return FJpeg.Waiting() ? FJpeg.Source().Height() : FBitmap.height();
}

void TGfxBaseIm::Clear() {
    Replace(QImage());
}

void TGfxBaseIm::Replace(QImage&& bitmap) {
    FBitmap = std::move(bitmap);
    FAlpha = QImage();
    FJpeg.Clear();
}

void TGfxBaseIm::JpegProvedGood() const {
    FJpeg.Proved();
    FBitmap = QImage();
    FAlpha = QImage();
}

void TGfxBaseIm::JpegFailed() const {
    FFileName = FJpeg.Failed();
}

void TGfxBaseIm::DecodeJpegNow() const {
    QImage pixels;
    try {
        pixels = FJpeg.Source().Decode();
    } catch (const EGfxException&) {
        JpegFailed();
        throw;
    }
    FBitmap = std::move(pixels);
    FAlpha = QImage();
    FJpeg.Clear();
}

void TGfxBaseIm::LoadPicture(const QString& name) {
    if (name.isEmpty() || name == FFileName)
        return;
    // Opened aside first: a failure leaves the holder as it was.
    TPictureFile file = OpenPictureFile(name);
    if (file.Jpeg == nullptr) {
        Replace(std::move(file.Picture));
        FAlpha = std::move(file.Alpha);
        FFileName.clear();
        return;
    }
    // Only sound content is kept to go back to, and only one: a JPEG still waiting is checked now (its
    // data read through, no pixels made). One that fails gives way to what it had replaced.
    if (FJpeg.Unproved()) {
        try {
            FJpeg.Source().Verify();
            JpegProvedGood();
        } catch (const EGfxException&) {
            JpegFailed();
        }
    }
    FJpeg.Load(std::move(file.Jpeg), FFileName);
    FFileName.clear();
}

void TGfxBaseIm::AssignPicture(const TGfxBaseIm& picture) {
    QImage pixels = picture.Bitmap(); // decoded first: a damaged picture changes nothing here
    QImage alpha = picture.Alpha();
    Replace(std::move(pixels));
    FAlpha = std::move(alpha);
    FFileName.clear();
}

void TGfxBaseIm::AssignPicture(const QImage& picture) {
    QImage converted = ToBgr888(picture);
    if (converted.isNull() && !picture.isNull())
        throw EGfxException(QStringLiteral("Not enough memory for a %1 x %2 picture")
                                .arg(picture.width())
                                .arg(picture.height()));
    Replace(std::move(converted));
    FFileName.clear();
}

void TGfxBaseIm::SaveAsJpeg(const QString& name, int quality) {
    if (!HasImage())
        throw EGfxException(QStringLiteral("Cannot save %1: the picture is empty").arg(name));
    const QByteArray bytes = EncodeJpeg(Bitmap(), quality, name);
    // Written beside the target and renamed over it only when everything was written.
    TSaveFile file(name);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw EGfxException(QStringLiteral("Cannot save %1: %2").arg(name, file.errorString()));
}

void TGfxBaseIm::SetSize(int w, int h) {
    if (FJpeg.Waiting()) {
        if (w == FJpeg.Source().Width() && h == FJpeg.Source().Height())
            DecodeJpegNow(); // the pixels of the same size are kept
        else
            Replace(QImage());
    }
    if (w <= 0 || h <= 0) {
        FBitmap = QImage();
        FAlpha = QImage();
        return;
    }
    if (FBitmap.width() == w && FBitmap.height() == h && FBitmap.format() == QImage::Format_BGR888)
        return;
    FAlpha = QImage();
    CheckPixelLimit(w, h);
    QImage bitmap(w, h, QImage::Format_BGR888);
    if (bitmap.isNull())
        throw EGfxException(QStringLiteral("Not enough memory for a %1 x %2 picture").arg(w).arg(h));
    bitmap.fill(0);
    FBitmap = std::move(bitmap);
}

namespace {

// Gives dest the size w x h for filling from source. Returns the bitmap to fill, or null when there is
// nothing to do: dest has no pixels, or source has none and the ground is left black.
QImage* SizedTarget(TGfxBaseIm& dest, int w, int h, const QImage& source) {
    dest.SetSize(w, h);
    if (!dest.HasImage())
        return nullptr;
    QImage& target = dest.Bitmap();
    if (source.isNull()) {
        target.fill(0);
        return nullptr;
    }
    return &target;
}

// The nearest-pixel stretch of an opacity plane; null stays null.
QImage StretchedAlpha(const QImage& alpha, int w, int h) {
    if (alpha.isNull())
        return QImage();
    QImage result(w, h, QImage::Format_Alpha8);
    if (result.isNull())
        return result; // the picture then shows as laid over white
    for (int y = 0; y < h; ++y) {
        const uchar* s = alpha.constScanLine(NearestSourceIndex(y, h, alpha.height()));
        uchar* d = result.scanLine(y);
        for (int x = 0; x < w; ++x)
            d[x] = s[NearestSourceIndex(x, w, alpha.width())];
    }
    return result;
}

} // namespace

QSize FitSize(int srcW, int srcH, int maxW, int maxH) {
    if (maxW == 0 && maxH == 0)
        return QSize(srcW, srcH);
    if (srcW <= 0 || srcH <= 0)
        return QSize(0, 0);
    const double aspect = static_cast<double>(srcW) / srcH;
    QSize fitted;
    const int h1 = RoundHalfEven(maxW / aspect);
    if (maxH >= h1)
        fitted = QSize(maxW, h1);
    else
        fitted = QSize(RoundHalfEven(maxH * aspect), maxH);
    // A very narrow or flat picture would round to nothing and vanish from its thumbnail: keep a line.
    if (fitted.width() == 0 && maxW > 0)
        fitted.setWidth(1);
    if (fitted.height() == 0 && maxH > 0)
        fitted.setHeight(1);
    return fitted;
}

void ResizePicture(int w, int h, const TGfxBaseIm& src, TGfxBaseIm& dest) {
    // A JPEG whose pixels wait is stretched straight from its data, decoding only the sampled rows; the
    // destination changes only when that succeeded.
    if (src.FJpeg.Waiting() && &src != &dest) {
        if (w <= 0 || h <= 0) {
            dest.SetSize(w, h);
            return;
        }
        CheckPixelLimit(w, h);
        dest.Replace(src.FromWaitingJpeg([&](const TJpegSource& jpeg) { return jpeg.Stretched(w, h); }));
        return;
    }
    // A shared copy, so that src may be dest: writing into dest then detaches it.
    const QImage source = src.Bitmap();
    const QImage alpha = src.Alpha();
    QImage* const sized = SizedTarget(dest, w, h, source);
    if (sized == nullptr)
        return;
    StretchBitmap(source, *sized);
    dest.FAlpha = StretchedAlpha(alpha, w, h);
}

QImage ShrunkPicture(const TGfxBaseIm& src, int w, int h) {
    if (!src.FJpeg.Waiting())
        return w == src.Width() && h == src.Height() ? src.FBitmap : AreaShrunk(src.FBitmap, w, h);
    const QImage decoded =
        src.FromWaitingJpeg([&](const TJpegSource& jpeg) { return jpeg.DecodeAtLeast(w, h); });
    return decoded.size() == QSize(w, h) ? decoded : AreaShrunk(decoded, w, h);
}

void ResizePictures(const TGfxBaseIm& src, const std::vector<TResizeTarget>& targets) {
    if (!src.FJpeg.Waiting()) {
        // Decoded already: stretched into aside pictures first, so that a failure changes no target.
        std::vector<TGfxBaseIm> made(targets.size());
        for (size_t i = 0; i < targets.size(); ++i)
            ResizePicture(targets[i].W, targets[i].H, src, made[i]);
        for (size_t i = 0; i < targets.size(); ++i) {
            targets[i].Dest->Replace(std::move(made[i].FBitmap));
            targets[i].Dest->FAlpha = std::move(made[i].FAlpha);
        }
        return;
    }
    std::vector<QSize> sizes;
    for (const TResizeTarget& t : targets) {
        assert(t.Dest != &src);
        if (t.W > 0 && t.H > 0) {
            CheckPixelLimit(t.W, t.H);
            sizes.emplace_back(t.W, t.H);
        }
    }
    std::vector<QImage> stretched;
    if (!sizes.empty())
        stretched = src.FromWaitingJpeg([&](const TJpegSource& jpeg) { return jpeg.Stretched(sizes); });
    size_t next = 0;
    for (const TResizeTarget& t : targets)
        t.Dest->Replace(t.W > 0 && t.H > 0 ? std::move(stretched[next++]) : QImage());
}

void TGfxBaseIm::LayOver(const QImage& ground, int x0, int y0) {
    if (FAlpha.isNull() || FJpeg.Waiting())
        return;
    const QImage alpha = std::exchange(FAlpha, QImage());
    // The bitmap is colour * a + white * (1 - a); white's share becomes the ground's.
    const int xEnd = std::min(FBitmap.width(), ground.width() - x0);
    const int yEnd = std::min(FBitmap.height(), ground.height() - y0);
    for (int y = std::max(0, -y0); y < yEnd; ++y) {
        uchar* d = FBitmap.scanLine(y);
        const uchar* a = alpha.constScanLine(y);
        const uchar* g = ground.constScanLine(y + y0);
        for (int x = std::max(0, -x0); x < xEnd; ++x) {
            const int clear = 255 - a[x];
            for (int c = 0; c < 3; ++c) {
                const int drop = ((255 - g[3 * (x + x0) + c]) * clear + 127) / 255;
                d[3 * x + c] = static_cast<uchar>(std::max(0, d[3 * x + c] - drop));
            }
        }
    }
}

void TilePicture(const TGfxBaseIm& tile, TGfxBaseIm& dest, int w, int h) {
    const QImage source = tile.Bitmap(); // shared copy: tile may be dest
    // An empty tile would never advance; the ground then stays black.
    QImage* const sized = SizedTarget(dest, w, h, source);
    if (sized == nullptr)
        return;
    QImage& target = *sized;
    const size_t tileBytes = static_cast<size_t>(source.width()) * 3;
    const size_t rowBytes = static_cast<size_t>(w) * 3;
    for (int y = 0; y < h; ++y) {
        const uchar* s = source.constScanLine(y % source.height());
        uchar* d = target.scanLine(y);
        for (size_t x = 0; x < rowBytes; x += tileBytes)
            std::memcpy(d + x, s, std::min(tileBytes, rowBytes - x));
    }
}
