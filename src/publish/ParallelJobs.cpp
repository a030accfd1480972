// Jobs handed out in order to a few workers on the picture threads; the first failure in index order is the
// one raised.
#include "publish/ParallelJobs.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>

#include <QElapsedTimer>
#include <QThread>

#include "common/VlxPictureThreads.h"

namespace {

constexpr int kProgressMs = 100;
constexpr int kWaitMs = 10;

struct TJobsShared {
    explicit TJobsShared(int count) : Count(count), Finished(size_t(count), 0) {}

    const int Count;
    std::vector<char> Finished; // each written by its job's thread only
    std::atomic<int> Next{0};
    std::atomic<int> Done{0};
    std::atomic<int> LastDone{-1};
    std::atomic<int> Running{0};
    std::atomic<bool> Stop{false};
    std::mutex Lock; // guards the two below
    int FailedJob = -1;
    std::exception_ptr Failure;
};

void Work(TJobsShared& shared, const std::function<void(int, int)>& job, int worker) {
    while (!shared.Stop) {
        const int i = shared.Next++;
        if (i >= shared.Count)
            break;
        try {
            job(i, worker);
            shared.Finished[size_t(i)] = 1;
            shared.LastDone = i;
            ++shared.Done;
        } catch (...) {
            const std::lock_guard<std::mutex> guard(shared.Lock);
            if (shared.FailedJob < 0 || i < shared.FailedJob) {
                shared.FailedJob = i;
                shared.Failure = std::current_exception();
            }
            shared.Stop = true;
        }
    }
    --shared.Running;
}

} // namespace

void RunParallelJobs(int count, int threads, const std::function<void(int)>& job,
                     const std::function<void(int, int)>& progress, int& failedJob,
                     std::vector<char>* finished) {
    RunParallelJobs(
        count, threads, [&job](int i, int) { job(i); }, progress, failedJob, finished);
}

void RunParallelJobs(int count, int threads, const std::function<void(int, int)>& job,
                     const std::function<void(int, int)>& progress, int& failedJob,
                     std::vector<char>* finished) {
    if (count <= 0)
        return;
    const int workers = std::clamp(threads, 1, count);
    TJobsShared shared(count);
    // Declared first, so gone last: the extra threads are given back once the workers are done.
    const TPictureThreadsWait lent;
    const TPictureThreadsExtra more(workers - PictureThreads().maxThreadCount());
    {
        // The workers end before anything they use goes, whatever progress throws. A worker still queued
        // behind other picture work starts, finds nothing left to do and ends.
        struct TJoin {
            TJobsShared& Shared;
            std::vector<char>* Finished;
            ~TJoin() {
                Shared.Stop = true;
                while (Shared.Running > 0)
                    QThread::msleep(1);
                if (Finished != nullptr)
                    *Finished = Shared.Finished;
            }
        } join{shared, finished};
        for (int i = 0; i < workers; ++i) {
            ++shared.Running; // counted before it can end; not at all if it is never queued
            try {
                PictureThreads().start([&shared, &job, i] { Work(shared, job, i); });
            } catch (...) {
                --shared.Running;
                throw;
            }
        }
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
        failedJob = shared.FailedJob;
        std::rethrow_exception(shared.Failure);
    }
    progress(shared.Done, shared.LastDone);
}
