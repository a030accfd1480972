// What of a picture's metadata its published copy keeps: a setting of the gallery, which the run applies.
#pragma once

#include <cstdint>

// The choice of the "Html Page" tab; the item index of its list is the value.
enum TPublishMeta : std::uint8_t {
    pmKeepAll,         // copies as they are
    pmRemoveLocation,  // GPS and location fields gone, every other byte kept (the default)
    pmOrientationOnly, // only the orientation (and the colour profile, which the colours need) kept
};
inline constexpr TPublishMeta kPublishMetaDefault = pmRemoveLocation;
