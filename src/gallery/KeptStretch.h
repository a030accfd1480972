// What a gallery keeps of a picture between runs: the picture already stretched into the thumbnail's picture
// box, so that a run renders its thumbnail without decoding the file again, and the file's stamp that tells
// whether the file is still the one that was read.
#pragma once

#include <memory>

#include <QSize>
#include <QString>

#include "gfx/GfxPic.h"

// What a picture file was when read: its size, modification and status-change times (nanoseconds), and
// which file it was (a file saved by renaming a new one over it is another file, whatever its times say).
// Size -1: no such file.
struct TFileStamp {
    long long Size = -1;
    long long Modified = 0;
    long long Changed = 0;
    unsigned long long Inode = 0;
    unsigned long long Device = 0;

    bool operator==(const TFileStamp&) const = default;
    static TFileStamp Of(const QString& path);
};

// The largest picture-box stretch a cell keeps (a box of 0 x 0 would keep the whole picture).
inline constexpr int kMaxKeptFitPixels = 512 * 512;

// One picture's stretch, made for one box from the file as it was at one stamp.
class TKeptStretch {
public:
    // The stretch for box when the file's stamp is still `now`; none otherwise.
    std::shared_ptr<const TGfxBaseIm> For(const QSize& box, const TFileStamp& now) const;
    // Keeps a stretch into box of the file as it was at stamp (one too large is not kept); null drops it.
    void Keep(std::shared_ptr<const TGfxBaseIm> fitted, const QSize& box, const TFileStamp& stamp);
    void Drop() { Keep(nullptr, QSize(), TFileStamp()); }
    const QSize& Box() const { return FBox; }

private:
    std::shared_ptr<const TGfxBaseIm> FFitted; // shared with a run that renders from it meanwhile
    QSize FBox;
    TFileStamp FStamp;
};
