// The thumbnails of a run, rendered and saved on several threads: each thread renders with its own copy of
// the renderer's settings and background, so every file holds the bytes a single thread would write.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <QImage>
#include <QString>

class TGfxBaseIm;
class TGfxThumbnail;

struct TThumbJob {
    QString Source; // the picture file
    QString Dest;   // the thumbnail file
    // The picture already stretched into the renderer's picture box (as FitPicture sizes it, from the file as
    // it is now): the file is then not read at all. None: the file is decoded.
    std::shared_ptr<const TGfxBaseIm> Fitted = nullptr;
};

// What the calling thread hears while the threads work (about ten times a second, and once at the end):
// the number of thumbnails saved and the job the last one saved.
using TThumbProgress = std::function<void(int done, int lastJob)>;

// Renders and saves every job's thumbnail on `threads` threads (at least one), handing out the jobs in order;
// the calling thread runs progress meanwhile. A failure stops the handing out; once the running jobs are
// over, the failure of the earliest failed job is raised again, with failedPath set to the file it stopped
// at (the picture while reading or rendering, the thumbnail while saving). lastThumb receives the last job's
// thumbnail when it was rendered. made, when given, receives for each job the stretch the run made from a
// decoded file (none for a job that came with one), to be kept for the next run. saved, when given, tells for
// each job whether its thumbnail was saved, also when the run failed or the progress handler threw.
void RenderThumbnails(const TGfxThumbnail& settings, const std::vector<TThumbJob>& jobs, int quality,
                      int threads, const TThumbProgress& progress, QString& failedPath, QImage& lastThumb,
                      std::vector<std::shared_ptr<const TGfxBaseIm>>* made = nullptr,
                      std::vector<char>* saved = nullptr);
