// Picture holder, thumbnail renderer with its pixel effects, and the batch converter that owns the renderer.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>

#include "gfx/GfxError.h"
#include "gfx/GfxJpegSource.h"
#include "gfx/GfxSampling.h"

enum TGfxBevelStyle : std::uint8_t { gbNone, gbRaised, gbLowered };
enum TGfxMaskStyle : std::uint8_t { gmNone, gmRectangle, gmRoundRect, gmEllipse };

// Display names in value order, so that a drop-down list's item index is the value.
extern const QStringList BevelStyleNames;
extern const QStringList MaskStyleNames;

// The extensions of the files LoadPicture reads (lower case; a file's is compared ignoring case), as the
// open dialog lists them.
QStringList PictureExtensions();

struct TResizeTarget;

// A 24-bit picture: bytes blue, green, red, rows addressed directly through Bitmap().scanLine(y).
// An empty holder has a null bitmap; any other bitmap is QImage::Format_BGR888.
//
// A loaded JPEG stays "loaded but not yet decoded" (its bytes kept, its header read, its size known) until
// its pixels are needed: Bitmap() decodes them all, ResizePicture only the rows it samples, which for a
// thumbnail of a photograph is most of the work saved. A damaged scan is then found there, not in
// LoadPicture: the error names the file as LoadPicture's would, and the holder goes back to the content and
// FileName it had before that load.
class TGfxBaseIm {
public:
    TGfxBaseIm();
    virtual ~TGfxBaseIm();
    TGfxBaseIm(const TGfxBaseIm&) = delete;
    TGfxBaseIm& operator=(const TGfxBaseIm&) = delete;

    bool HasImage() const { return Width() > 0 && Height() > 0; }
    void Clear();

    // Loads a file of one of PictureExtensions() (decoder chosen by the extension). Does nothing for an
    // empty name or one equal to FileName(). Throws EGfxException naming the file; on failure the holder
    // keeps its content and FileName. On success FileName is empty, as after AssignPicture. A JPEG's
    // scan is decoded later, when the pixels are first needed.
    virtual void LoadPicture(const QString& name);

    // Copies the picture's pixels (decoding them when they wait).
    void AssignPicture(const TGfxBaseIm& picture);
    // Any QImage; transparent pixels are laid over white, the ground of a fresh bitmap.
    void AssignPicture(const QImage& picture);

    const QString& FileName() const { return FFileName; }
    void SetFileName(const QString& name) { FFileName = name; }

    // Baseline colour JPEG of the given quality (1 to 100), replacing the file. The file is written under a
    // temporary name in the same folder and renamed, so a failure never leaves a half-written file behind.
    void SaveAsJpeg(const QString& name, int quality);

    // The size, known without touching the pixels.
    int Width() const;
    int Height() const;

    // Every access to the pixels goes through here. A JPEG whose pixels wait is decoded first, which can
    // throw EGfxException for a damaged file (see above).
    QImage& Bitmap() {
        DecodeWaitingPixels();
        return FBitmap;
    }
    const QImage& Bitmap() const {
        DecodeWaitingPixels();
        return FBitmap;
    }

    // True while the holder is a JPEG whose pixels have not been decoded.
    bool PixelsWaiting() const { return FJpeg.Waiting(); }

    // Of a loaded picture with transparent pixels, their opacity (Format_Alpha8, the bitmap's size; the
    // bitmap holds them laid over white); null for an opaque picture. Kept through AssignPicture and
    // ResizePicture; anything else that makes new pixels drops it.
    const QImage& Alpha() const {
        static const QImage none;
        return FJpeg.Waiting() ? none : FAlpha;
    }
    // Lays the transparent pixels over ground instead of white, at (x, y) of ground, and drops the opacity.
    void LayOver(const QImage& ground, int x, int y);

    // Makes the bitmap w x h, 24 bits (0 x 0 when either is 0 or less). Keeps the buffer, and so the old
    // pixels, when the size already matches; a new buffer is black. Throws above kMaxPicturePixels.
    void SetSize(int w, int h);

private:
    friend void ResizePicture(int w, int h, const TGfxBaseIm& src, TGfxBaseIm& dest);
    friend void ResizePictures(const TGfxBaseIm& src, const std::vector<TResizeTarget>& targets);
    friend QImage ShrunkPicture(const TGfxBaseIm& src, int w, int h);

    // Decoding may fail on a damaged file and is done on demand, even through a const holder: what it
    // changes is only how the same content is held, and on failure what the load had replaced.
    void DecodeWaitingPixels() const {
        if (FJpeg.Waiting())
            DecodeJpegNow();
    }
    void DecodeJpegNow() const;
    // The waiting JPEG has decoded once without error: the pixels it replaced are not needed any more.
    void JpegProvedGood() const;
    // The waiting JPEG turned out damaged: back to what the load replaced.
    void JpegFailed() const;
    // What read makes of the waiting JPEG's source, the holder told whether it proved good or failed.
    template <class F> auto FromWaitingJpeg(F read) const {
        try {
            auto made = read(FJpeg.Source());
            JpegProvedGood();
            return made;
        } catch (const EGfxException&) {
            JpegFailed();
            throw;
        }
    }
    // New content replaces everything, waiting pixels included.
    void Replace(QImage&& bitmap);

    // While a JPEG waits, FBitmap still holds the pixels its load replaced.
    mutable QImage FBitmap;
    mutable QImage FAlpha; // FBitmap's
    mutable QString FFileName;
    mutable TWaitingJpeg FJpeg;
};

// Fits a source size into a box keeping the aspect ratio (rounding half to even); enlarges as well as
// reduces. A 0 x 0 box gives the source size.
QSize FitSize(int srcW, int srcH, int maxW, int maxH);

// Nearest-pixel stretch of the whole source onto a w x h destination.
void ResizePicture(int w, int h, const TGfxBaseIm& src, TGfxBaseIm& dest);

// One destination of ResizePictures.
struct TResizeTarget {
    int W;
    int H;
    TGfxBaseIm* Dest; // never the source
};
// ResizePicture onto each target; a JPEG whose pixels wait is decoded once for all of them, only the rows
// any of them samples. On failure no target has changed.
void ResizePictures(const TGfxBaseIm& src, const std::vector<TResizeTarget>& targets);

// The picture shrunk by area averaging (AreaShrunk) to w x h, which are at least 1 and at most its size; at
// its size, its pixels. A JPEG whose pixels wait is decoded at the smallest of libjpeg's scales that is not
// below w x h and shrunk from there: a fraction of the work of decoding it whole, for a picture that differs
// from the shrink of every pixel by a few levels at most. The holder keeps its pixels waiting.
QImage ShrunkPicture(const TGfxBaseIm& src, int w, int h);

// Makes dest w x h and fills it with copies of tile from the top-left corner, cut at the right and bottom.
void TilePicture(const TGfxBaseIm& tile, TGfxBaseIm& dest, int w, int h);

// v clamped to 0..254. 254, not 255: every byte that passes here ends at most at 254, and saved
// thumbnails depend on it.
inline std::uint8_t ClampByte(int v) {
    return static_cast<std::uint8_t>(v < 0 ? 0 : (v > 254 ? 254 : v));
}

// A bevel: the width of its band in pixels, its style and its brightness step per colour channel.
struct TGfxBevel {
    int Size = 0;
    TGfxBevelStyle Style = gbNone;
    std::uint8_t Intensity = 0;

    bool operator==(const TGfxBevel&) const = default;
};

// Every setting of a thumbnail, copied as one value: the thumbnail's size and bevel, the picture box and the
// picture's bevel, its mask and its shadow.
struct TGfxThumbSettings {
    int ThumbWidth = 150;
    int ThumbHeight = 120;
    TGfxBevel ThumbBevel;
    int PicWidth = 130;
    int PicHeight = 100;
    TGfxBevel PicBevel;
    TGfxMaskStyle MaskStyle = gmNone;
    int MaskSize = 0;
    int ShadowDistance = 0;
    int ShadowSize = 0;
    std::uint8_t ShadowIntensity = 0;

    // The picture box: the one setting a picture's stretch depends on.
    QSize PictureBox() const { return {PicWidth, PicHeight}; }
    QSize FitPicture(int srcW, int srcH) const { return FitSize(srcW, srcH, PicWidth, PicHeight); }

    bool operator==(const TGfxThumbSettings&) const = default;
};

// Renders one picture into a thumbnail: the fitted, bevelled picture centred over a tiled, bevelled
// background, optionally cut by a feathered mask and casting a soft shadow. After Render the holder's own
// bitmap is the thumbnail.
class TGfxThumbnail : public TGfxBaseIm {
public:
    TGfxThumbnail();
    ~TGfxThumbnail() override;

    TGfxBaseIm& Source() { return FSource; }
    const TGfxBaseIm& Source() const { return FSource; }
    TGfxBaseIm& Background() { return FBackground; }
    const TGfxBaseIm& Background() const { return FBackground; }

    const TGfxThumbSettings& Settings() const { return FSettings; }
    // Stores the settings unchanged; their owners keep them in range.
    void SetSettings(const TGfxThumbSettings& value) { FSettings = value; }

    int ThumbWidth() const { return FSettings.ThumbWidth; }
    int ThumbHeight() const { return FSettings.ThumbHeight; }
    const TGfxBevel& ThumbBevel() const { return FSettings.ThumbBevel; }
    int PicWidth() const { return FSettings.PicWidth; }
    int PicHeight() const { return FSettings.PicHeight; }
    const TGfxBevel& PicBevel() const { return FSettings.PicBevel; }
    TGfxMaskStyle MaskStyle() const { return FSettings.MaskStyle; }
    int MaskSize() const { return FSettings.MaskSize; }
    int ShadowDistance() const { return FSettings.ShadowDistance; }
    int ShadowSize() const { return FSettings.ShadowSize; }
    std::uint8_t ShadowIntensity() const { return FSettings.ShadowIntensity; }

    // Builds the thumbnail from Source, Background and the settings. Throws EGfxException ("No source image
    // assigned", "No background image assigned"); after an error the previous thumbnail stays.
    void Render();

    // Render in two steps, so that the picture's stretch can be made once and kept: FitSize of a picture
    // into the picture box (the one setting the stretch depends on), then the thumbnail from a picture
    // already stretched to that size (as ResizePicture makes it). Rendering FitPicture's result of Source
    // gives exactly Render's thumbnail.
    QSize FitPicture(int srcW, int srcH) const { return FSettings.FitPicture(srcW, srcH); }
    void RenderFitted(const TGfxBaseIm& fitted);

    // The pixel effects Render applies, in its order. Sizes are in pixels; masks are grey pictures
    // (0 background only, 255 picture only).
    static void ApplyBevel(TGfxBaseIm& image, TGfxBevelStyle style, std::uint8_t intensity, int size);
    static void ApplyBevel(TGfxBaseIm& image, const TGfxBevel& bevel) {
        ApplyBevel(image, bevel.Style, bevel.Intensity, bevel.Size);
    }
    // The hard mask of a w x h picture: the shape in white inside a black frame; empty for gmNone.
    static void MakeMask(TGfxBaseIm& dest, TGfxMaskStyle style, int w, int h);
    static void FeatherMask(const TGfxBaseIm& mask, TGfxBaseIm& dest, int size);
    // dest = bkg darkened by the shadow of mask (or of a picW x picH rectangle when mask is empty).
    static void CastShadow(const TGfxBaseIm& bkg, const TGfxBaseIm& mask, std::uint8_t intensity,
                           int distance, int size, int picW, int picH, TGfxBaseIm& dest);
    static void ComposeThumbnail(const TGfxBaseIm& pic, const TGfxBaseIm& bkg, const TGfxBaseIm& mask,
                                 TGfxBaseIm& dest);

private:
    void TileBackground();
    // Render's steps after the picture's stretch, which is in FPicWork.
    void RenderPicWork();

    TGfxThumbSettings FSettings;

    TGfxBaseIm FSource;
    TGfxBaseIm FBackground;
    // Work pictures, rebuilt by every Render; kept between calls only so their buffers are reused.
    TGfxBaseIm FBkgWork;
    TGfxBaseIm FPicWork;
    TGfxBaseIm FMaskWork;
    TGfxBaseIm FFeatherWork;
    TGfxBaseIm FShadowWork;
};

// A picture's thumbnail file is named by this prefix followed by the picture's published name.
inline const QString kThumbPrefix = QStringLiteral("vl_");

// Owner of the program's one thumbnail renderer and keeper of the thumbnail files' name prefix and quality.
class TGfxBatchPicConverter {
public:
    TGfxBatchPicConverter();
    ~TGfxBatchPicConverter();
    TGfxBatchPicConverter(const TGfxBatchPicConverter&) = delete;
    TGfxBatchPicConverter& operator=(const TGfxBatchPicConverter&) = delete;

    TGfxThumbnail& Thumbnail() { return FThumbnail; }
    const TGfxThumbnail& Thumbnail() const { return FThumbnail; }
    QString ThumbPrefix() const { return FThumbPrefix; }
    int JpegQuality() const { return FJpegQuality; }

private:
    TGfxThumbnail FThumbnail;
    const QString FThumbPrefix;
    const int FJpegQuality;
};
