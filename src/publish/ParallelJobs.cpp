// Jobs handed out in order to a few threads; the first failure in index order is the one raised.
#include "publish/ParallelJobs.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>

#include <QElapsedTimer>
#include <QThread>

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
    shared.Running = workers;
    std::vector<std::thread> pool;
    {
        // The threads end before anything they use goes, whatever progress throws.
        struct TJoin {
            TJobsShared& Shared;
            std::vector<std::thread>& Pool;
            std::vector<char>* Finished;
            ~TJoin() {
                Shared.Stop = true;
                for (std::thread& thread : Pool)
                    thread.join();
                if (Finished != nullptr)
                    *Finished = Shared.Finished;
            }
        } join{shared, pool, finished};
        for (int i = 0; i < workers; ++i)
            pool.emplace_back(Work, std::ref(shared), std::cref(job), i);
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
