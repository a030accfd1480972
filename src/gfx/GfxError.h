// The picture unit's exception and the size limit every decoder enforces.
#pragma once

#include "common/VlxTypes.h"

class EGfxException : public Exception {
public:
    using Exception::Exception;
};

// Pictures above this many pixels are refused before anything is allocated for them.
inline constexpr long long kMaxPicturePixels = 100'000'000;
