#include "gfx/GfxExiv.h"

#include <exiv2/exiv2.hpp>

#include <mutex>

namespace {

void LockXmp(void* data, bool lock) {
    auto* mutex = static_cast<std::mutex*>(data);
    lock ? mutex->lock() : mutex->unlock();
}

} // namespace

void SetUpExiv2() {
    static std::once_flag once;
    static std::mutex xmpLock;
    std::call_once(once, [] {
        // Its warnings about odd files would go to the command line's standard error.
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        Exiv2::enableBMFF(true);
        Exiv2::XmpParser::initialize(LockXmp, &xmpLock);
    });
}
