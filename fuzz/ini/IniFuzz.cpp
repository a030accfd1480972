// Fuzz target: any options file reads without fault, and writing one key changes that key and no other.
#include <array>
#include <cstdint>
#include <cstdlib>

#include "settings/VlxIniFile.h"

namespace {

struct TKey {
    const char* Section;
    const char* Key;
};

constexpr std::array<TKey, 11> kKeys{{{"Common", "LoadOnStartup"},
                                      {"Common", "OverFileConf"},
                                      {"Common", "ClearTmpDir"},
                                      {"Common", "Profile"},
                                      {"TableGrid", "Width"},
                                      {"TableGrid", "Height"},
                                      {"TableGrid", "AutoUpdate"},
                                      {"Ftp", "Host"},
                                      {"Ftp", "Port"},
                                      {"Ftp", "UserID"},
                                      {"Ftp", "RemoteDir"}}};

void Check(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray text(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    std::array<std::optional<QString>, kKeys.size()> before;
    for (std::size_t i = 0; i < kKeys.size(); ++i)
        before[i] = IniReadValue(text, kKeys[i].Section, kKeys[i].Key);

    // Which key and value to write comes from the input too, so every way of placing a key is reached.
    const std::size_t written = size == 0 ? 0 : data[0] % kKeys.size();
    const QString value = size > 1 && data[1] % 2 ? QStringLiteral(" \"quoted\" ") : QStringLiteral("a=b");
    const QByteArray updated = IniWriteValue(text, kKeys[written].Section, kKeys[written].Key, value);
    for (std::size_t i = 0; i < kKeys.size(); ++i) {
        const std::optional<QString> after = IniReadValue(updated, kKeys[i].Section, kKeys[i].Key);
        Check(i == written ? after == value : after == before[i]);
    }
    return 0;
}
