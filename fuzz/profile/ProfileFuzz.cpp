// Fuzz target: any slot of the profiles file reads without fault, and what it reads writes back stably.
#include <cstdint>
#include <cstdlib>

#include "settings/VlxProfileU.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray slot(reinterpret_cast<const char*>(data),
                          static_cast<qsizetype>(std::min<std::size_t>(size, TProfileManager::kSlotSize)));
    const QByteArray first = TProfileRecord::FromBytes(slot).ToBytes();
    // Damaged strings are repaired on the first pass (clamped, invalid UTF-8 replaced, cut to fit); a record
    // read back from the result must then write the very same bytes.
    const QByteArray second = TProfileRecord::FromBytes(first).ToBytes();
    if (first.size() != TProfileRecord::kStoredSize || second != first)
        std::abort();
    return 0;
}
