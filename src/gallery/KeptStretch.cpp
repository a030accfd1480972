// The kept stretch of a picture and the stamp of its file.
#include "gallery/KeptStretch.h"

#include <atomic>

#include <sys/stat.h>

#include <QFile>

namespace {

std::atomic<long long> KeptBytes{0};
std::atomic<long long> Budget{kKeptStretchBudget};

// A stretch's share of the budget, taken when it is kept and given back when the last copy of it goes.
class TCharge {
public:
    explicit TCharge(long long bytes) : FBytes(bytes) {}
    ~TCharge() { KeptBytes -= FBytes; }
    TCharge(const TCharge&) = delete;
    TCharge& operator=(const TCharge&) = delete;

    // None when the budget has no room for the bytes. Placing keeps stretches on several threads at once.
    static std::shared_ptr<const void> Take(long long bytes) {
        if (KeptBytes.fetch_add(bytes) + bytes > Budget) {
            KeptBytes -= bytes;
            return nullptr;
        }
        return std::make_shared<const TCharge>(bytes);
    }

private:
    const long long FBytes;
};

} // namespace

long long KeptStretchBytes() {
    return KeptBytes;
}

long long KeptStretchBudget() {
    return Budget;
}

void SetKeptStretchBudget(long long bytes) {
    Budget = bytes;
}

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
    const long long pixels = fitted ? static_cast<long long>(fitted->Width()) * fitted->Height() : 0;
    // The stretch kept before goes first: replacing it needs no room for both.
    FCharge.reset();
    FFitted.reset();
    if (fitted && box.isValid() && stamp.Size >= 0 && pixels <= kMaxKeptFitPixels)
        FCharge = TCharge::Take(pixels * 3);
    const bool keep = FCharge != nullptr;
    FFitted = keep ? std::move(fitted) : nullptr;
    FBox = keep ? box : QSize();
    FStamp = keep ? stamp : TFileStamp();
}
