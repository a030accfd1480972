// Fuzz target: any bytes, named as each picture kind, load without fault or fail with EGfxException; a
// JPEG stretched from its waiting data gives exactly the pixels or the error of a full decode then the
// stretch, and a failure leaves the holder's previous picture.
#include <cstdint>
#include <cstdlib>

#include <QFile>
#include <QTemporaryDir>

#include "gfx/GfxPic.h"

namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

// A holder that held a known 2 x 1 picture before the load.
struct TOutcome {
    TGfxBaseIm Holder;
    TGfxBaseIm Stretch;
    QString Error;
};

void Prepare(TOutcome& out) {
    QImage previous(2, 1, QImage::Format_BGR888);
    previous.fill(Qt::darkCyan);
    out.Holder.AssignPicture(previous);
    out.Holder.SetFileName(QStringLiteral("previous"));
}

// Loads the file and stretches it to a thumbnail, the whole picture decoded first or not.
void LoadAndStretch(const QString& path, bool decodeFirst, TOutcome& out) {
    Prepare(out);
    try {
        out.Holder.LoadPicture(path);
        if (decodeFirst)
            out.Holder.Bitmap();
        const QSize size = FitSize(out.Holder.Width(), out.Holder.Height(), 130, 100);
        ResizePicture(size.width(), size.height(), out.Holder, out.Stretch);
    } catch (const EGfxException& e) {
        out.Error = e.Message();
        Check(out.Error.contains(path));
        Check(out.Holder.Width() == 2 && out.Holder.Height() == 1 && !out.Holder.PixelsWaiting());
        Check(out.Holder.FileName() == QStringLiteral("previous"));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static QTemporaryDir dir;
    Check(dir.isValid());
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    for (const char* name : {"input.jpg", "input.bmp", "input.ico", "input.png", "input.gif", "input.webp",
                             "input.tif", "input.heic"}) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        QFile file(path);
        Check(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        Check(file.write(bytes) == bytes.size());
        file.close();
        TOutcome full;
        TOutcome fast;
        LoadAndStretch(path, true, full);
        LoadAndStretch(path, false, fast);
        Check(full.Error == fast.Error);
        Check(full.Stretch.Bitmap() == fast.Stretch.Bitmap());
    }
    return 0;
}
