// Thumbnails rendered and saved on several threads, the calling thread kept free for the window.
#include "gallery/ThumbRun.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

#include <QElapsedTimer>
#include <QThread>

#include "gfx/GfxPic.h"

namespace {

constexpr int kProgressMs = 100;
constexpr int kWaitMs = 10;

// A renderer of its own for one thread; made on the calling thread, which alone reads the shared one.
std::unique_ptr<TGfxThumbnail> CopyRenderer(const TGfxThumbnail& from) {
    auto to = std::make_unique<TGfxThumbnail>();
    to->SetSettings(from.Settings());
    if (from.Background().HasImage())
        to->Background().AssignPicture(from.Background());
    return to;
}

// What the threads share.
struct TShared {
    TShared(const std::vector<TThumbJob>& jobs, int quality)
        : Jobs(jobs), Quality(quality), Made(jobs.size()), Saved(jobs.size(), 0) {}

    const std::vector<TThumbJob>& Jobs;
    const int Quality;
    std::vector<std::shared_ptr<const TGfxBaseIm>> Made; // each written by its job's thread only
    std::vector<char> Saved;                             // likewise: the job's thumbnail is saved
    std::atomic<int> Next{0};
    std::atomic<int> Done{0};
    std::atomic<int> LastDone{-1};
    std::atomic<int> Running{0};
    std::atomic<bool> Stop{false};
    std::mutex Lock; // guards the fields below
    int FailedJob = -1;
    QString FailedPath;
    std::exception_ptr Failure;
    QImage LastThumb;
};

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

void Work(TShared& shared, TGfxThumbnail& renderer) {
    const int count = static_cast<int>(shared.Jobs.size());
    while (!shared.Stop) {
        const int i = shared.Next++;
        if (i >= count)
            break;
        const TThumbJob& job = shared.Jobs[i];
        const QString* at = &job.Source;
        try {
            if (job.Fitted)
                renderer.RenderFitted(*job.Fitted);
            else
                shared.Made[size_t(i)] = DecodeAndRender(renderer, job.Source);
            at = &job.Dest;
            renderer.SaveAsJpeg(job.Dest, shared.Quality);
            shared.Saved[size_t(i)] = 1;
            if (i == count - 1) {
                const std::lock_guard<std::mutex> guard(shared.Lock);
                shared.LastThumb = renderer.Bitmap().copy();
            }
            shared.LastDone = i;
            ++shared.Done;
        } catch (...) {
            const std::lock_guard<std::mutex> guard(shared.Lock);
            if (shared.FailedJob < 0 || i < shared.FailedJob) {
                shared.FailedJob = i;
                shared.FailedPath = *at;
                shared.Failure = std::current_exception();
            }
            shared.Stop = true;
        }
    }
    --shared.Running;
}

} // namespace

void RenderThumbnails(const TGfxThumbnail& settings, const std::vector<TThumbJob>& jobs, int quality,
                      int threads, const TThumbProgress& progress, QString& failedPath, QImage& lastThumb,
                      std::vector<std::shared_ptr<const TGfxBaseIm>>* made, std::vector<char>* saved) {
    if (jobs.empty())
        return;
    const int count = std::clamp(threads, 1, static_cast<int>(jobs.size()));
    std::vector<std::unique_ptr<TGfxThumbnail>> renderers;
    for (int i = 0; i < count; ++i)
        renderers.push_back(CopyRenderer(settings));
    TShared shared(jobs, quality);
    shared.Running = count;
    std::vector<std::thread> workers;
    {
        // The threads end before anything they use goes, whatever the progress handler throws; the caller
        // hears which thumbnails were saved either way.
        struct TJoin {
            TShared& Shared;
            std::vector<std::thread>& Workers;
            std::vector<char>* Saved;
            ~TJoin() {
                Shared.Stop = true;
                for (std::thread& worker : Workers)
                    worker.join();
                if (Saved != nullptr)
                    *Saved = Shared.Saved;
            }
        } join{shared, workers, saved};
        for (int i = 0; i < count; ++i)
            workers.emplace_back(Work, std::ref(shared), std::ref(*renderers[i]));
        QElapsedTimer sinceProgress;
        sinceProgress.start();
        while (shared.Running > 0) {
            QThread::msleep(kWaitMs);
            if (sinceProgress.elapsed() >= kProgressMs) {
                progress(shared.Done, shared.LastDone);
                sinceProgress.restart();
            }
        }
    }
    if (shared.Failure) {
        failedPath = shared.FailedPath;
        std::rethrow_exception(shared.Failure);
    }
    lastThumb = shared.LastThumb;
    if (made != nullptr)
        *made = std::move(shared.Made);
    progress(shared.Done, shared.LastDone);
}
