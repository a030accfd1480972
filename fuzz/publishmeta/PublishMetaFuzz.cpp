// Fuzz target: any picture's metadata is cleaned or refused with the gallery's error, never anything else;
// removing the location moves no byte (but a PNG's), and what it returns is clean when cleaned again.
#include <cstdint>
#include <cstdlib>

#include "gallery/Gallery.h"
#include "publish/PublishMeta.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const bool png = bytes.startsWith("\x89PNG");
    for (const TPublishMeta rule : {pmRemoveLocation, pmOrientationOnly}) {
        try {
            const QByteArray out = PublishedBytes("fuzz", bytes, rule);
            if (rule == pmRemoveLocation && !png && out.size() != bytes.size())
                std::abort();
            if (PublishedBytes("fuzz", out, pmRemoveLocation) != out)
                std::abort();
        } catch (const EGalleryException&) {
        }
    }
    return 0;
}
