// The picture unit's exception, the size limit every decoder enforces, and the texts of load errors.
#pragma once

#include <QString>

#include "common/VlxTypes.h"

class EGfxException : public Exception {
public:
    using Exception::Exception;
};

// Pictures above this many pixels are refused before anything is allocated for them.
inline constexpr long long kMaxPicturePixels = 100'000'000;

// True when a w x h picture (both at least 0, below 2^31) is within the limit.
inline bool WithinPixelLimit(long long w, long long h, long long limit = kMaxPicturePixels) {
    return w * h <= limit;
}

// Why a picture above the limit is refused.
inline QString PixelLimitReason(long long w, long long h, long long limit = kMaxPicturePixels) {
    return QStringLiteral("the picture is %1 x %2 pixels, more than the %3 megapixels allowed")
        .arg(w)
        .arg(h)
        .arg(static_cast<double>(limit) / 1'000'000);
}

// Compressed data beyond what a picture's pixels could need are refused rather than read: 64 MiB and 4 bytes
// a pixel (a photo takes well under one), at most 464 MiB at the pixel limit.
inline long long DataLimitBytes(long long w, long long h) {
    return (64LL << 20) + 4 * w * h;
}

inline QString DataLimitReason(long long w, long long h) {
    return QStringLiteral("its data are more than the %1 MiB a %2 x %3 picture may take")
        .arg(DataLimitBytes(w, h) >> 20)
        .arg(w)
        .arg(h);
}

// "Cannot load <file>: <reason>", the text of every load error.
inline QString LoadError(const QString& fileName, const QString& reason) {
    return QStringLiteral("Cannot load %1: %2").arg(fileName, reason);
}

// Why the bitmap of a w x h picture could not be made.
inline QString NoMemoryReason(long long w, long long h) {
    return QStringLiteral("not enough memory for a %1 x %2 picture").arg(w).arg(h);
}

// Why a decoder refused a file of a kind ("BMP", "HEIF"): its own reason or the one its header gives.
inline QString UnreadableReason(const QString& kind, const QString& why) {
    return QStringLiteral("not a readable %1 picture (%2)").arg(kind, why);
}

// Throws EGfxException when a w x h bitmap to be made is above kMaxPicturePixels.
inline void CheckPixelLimit(long long w, long long h) {
    if (!WithinPixelLimit(w, h))
        throw EGfxException(QStringLiteral("Cannot make the bitmap: %1").arg(PixelLimitReason(w, h)));
}

// Throws EGfxException naming the file when w x h is above kMaxPicturePixels.
inline void CheckPictureSize(const QString& fileName, long long w, long long h) {
    if (!WithinPixelLimit(w, h))
        throw EGfxException(LoadError(fileName, PixelLimitReason(w, h)));
}
