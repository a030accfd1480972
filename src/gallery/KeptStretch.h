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

// What the stretches kept by every cell of the process may hold together. Each picture keeps its preview (a
// few KiB, to paint its cell without reading the file) and its stretch (about 38 KiB in the usual 130 x 100
// box, but up to 750 KiB in a box of 500 x 500). 384 MiB holds the stretches of 10,000 pictures in the
// usual box, so that the window with them stays under 600 MiB; in a larger box the pictures placed first keep
// theirs, and a run reads the others again from their files.
inline constexpr long long kKeptStretchBudget = 384LL << 20;
// The bytes the kept stretches hold now, and the budget in force (kKeptStretchBudget unless a test or a
// benchmark sets another; a stretch kept before a change stays kept).
long long KeptStretchBytes();
long long KeptStretchBudget();
void SetKeptStretchBudget(long long bytes);

// One picture's stretch, made for one box from the file as it was at one stamp.
class TKeptStretch {
public:
    // The stretch for box when the file's stamp is still `now`; none otherwise.
    std::shared_ptr<const TGfxBaseIm> For(const QSize& box, const TFileStamp& now) const;
    // Keeps a stretch into box of the file as it was at stamp (one too large, or one that the budget has no
    // room for, is not kept); null drops it. Copies share the stretch and its share of the budget.
    void Keep(std::shared_ptr<const TGfxBaseIm> fitted, const QSize& box, const TFileStamp& stamp);
    void Drop() { Keep(nullptr, QSize(), TFileStamp()); }
    const QSize& Box() const { return FBox; }

private:
    std::shared_ptr<const TGfxBaseIm> FFitted; // shared with a run that renders from it meanwhile
    std::shared_ptr<const void> FCharge;       // gives the stretch's bytes back to the budget when it goes
    QSize FBox;
    TFileStamp FStamp;
};
