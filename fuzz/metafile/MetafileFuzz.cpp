// Fuzz target of the metafile decoder: any bytes give a picture or a TMetaError, never a crash or a hang.
#include <cstdint>
#include <cstdlib>

#include <QGuiApplication>

#include "gfx/meta/MetaPlay.h"

namespace {

// Text drawing needs a GUI application; the offscreen platform needs no display.
void EnsureApplication() {
    static int argc = 1;
    static char name[] = "fuzz_metafile";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance() == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        new QGuiApplication(argc, argv);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    EnsureApplication();
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    try {
        // A smaller picture limit than the program's keeps each run quick.
        const QImage image = DecodeMetafile(bytes, 4'000'000);
        if (image.format() != QImage::Format_BGR888 || image.isNull())
            std::abort();
    } catch (const TMetaError&) {
    }
    return 0;
}
