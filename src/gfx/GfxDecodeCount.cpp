// The picture decode count.
#include "gfx/GfxDecodeCount.h"

#include <atomic>

namespace {

std::atomic<std::uint64_t> decodeCount{0};

} // namespace

std::uint64_t PictureDecodeCount() {
    return decodeCount.load();
}

void CountPictureDecode() {
    ++decodeCount;
}
