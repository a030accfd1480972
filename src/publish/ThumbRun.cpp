// Thumbnails rendered and saved on several threads, the calling thread kept free for the window.
#include "publish/ThumbRun.h"

#include <algorithm>
#include <memory>
#include <mutex>

#include "publish/ParallelJobs.h"
#include "gfx/GfxPic.h"

namespace {

// A renderer of its own for one thread; made on the calling thread, which alone reads the shared one.
std::unique_ptr<TGfxThumbnail> CopyRenderer(const TGfxThumbnail& from) {
    auto to = std::make_unique<TGfxThumbnail>();
    to->SetSettings(from.Settings());
    if (from.Background().HasImage())
        to->Background().AssignPicture(from.Background());
    return to;
}

// Render with the picture's stretch made aside, so that it can be kept.
std::shared_ptr<const TGfxBaseIm> DecodeAndRender(TGfxThumbnail& renderer, const QString& path) {
    TGfxBaseIm& source = renderer.Source();
    source.LoadPicture(path);
    if (!source.HasImage()) {
        renderer.Render(); // throws the renderer's own error
        return nullptr;
    }
    auto fitted = std::make_shared<TGfxBaseIm>();
    const QSize size = renderer.FitPicture(source.Width(), source.Height());
    ResizePicture(size.width(), size.height(), source, *fitted);
    renderer.RenderFitted(*fitted);
    return fitted;
}

} // namespace

void RenderThumbnails(const TGfxThumbnail& settings, const std::vector<TThumbJob>& jobs, int quality,
                      int threads, const TThumbProgress& progress, QString& failedPath, QImage& lastThumb,
                      std::vector<std::shared_ptr<const TGfxBaseIm>>* made, std::vector<char>* saved) {
    if (jobs.empty())
        return;
    const int count = static_cast<int>(jobs.size());
    const int workers = std::clamp(threads, 1, count);
    std::vector<std::unique_ptr<TGfxThumbnail>> renderers;
    for (int i = 0; i < workers; ++i)
        renderers.push_back(CopyRenderer(settings));
    std::vector<std::shared_ptr<const TGfxBaseIm>> madeHere(jobs.size());
    std::vector<char> saving(jobs.size(), 0); // each written by its job's thread only
    std::mutex lastLock;
    const auto job = [&](int i, int worker) {
        TGfxThumbnail& renderer = *renderers[size_t(worker)];
        const TThumbJob& thumb = jobs[size_t(i)];
        if (thumb.Fitted)
            renderer.RenderFitted(*thumb.Fitted);
        else
            madeHere[size_t(i)] = DecodeAndRender(renderer, thumb.Source);
        saving[size_t(i)] = 1;
        renderer.SaveAsJpeg(thumb.Dest, quality);
        if (i == count - 1) {
            const std::lock_guard<std::mutex> guard(lastLock);
            lastThumb = renderer.Bitmap().copy();
        }
    };
    int failedJob = -1;
    try {
        RunParallelJobs(count, workers, job, progress, failedJob, saved);
    } catch (...) {
        // The picture while reading or rendering, the thumbnail while saving.
        if (failedJob >= 0)
            failedPath =
                saving[size_t(failedJob)] ? jobs[size_t(failedJob)].Dest : jobs[size_t(failedJob)].Source;
        throw;
    }
    if (made != nullptr)
        *made = std::move(madeHere);
}
