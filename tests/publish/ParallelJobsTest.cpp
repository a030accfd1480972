// A run's jobs on the picture threads: as many workers at once as asked for, also beyond the pool's size and
// from a job of the pool itself.
#include <atomic>
#include <vector>

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QThread>

#include "common/VlxPictureThreads.h"
#include "publish/ParallelJobs.h"

namespace {

const auto kNoProgress = [](int, int) {};

} // namespace

// Each job waits until every one has begun: only that many workers running at once ends it in time.
TEST(ParallelJobs, MoreWorkersThanPictureThreadsRunAtOnceEachUnderItsOwnIndex) {
    const int workers = PictureThreads().maxThreadCount() + 2;
    std::atomic<int> begun{0};
    std::atomic<int> met{0};
    std::vector<std::atomic<int>> ranBy(static_cast<size_t>(workers));
    const auto job = [&](int, int worker) {
        ++ranBy[size_t(worker)];
        ++begun;
        QElapsedTimer waited;
        waited.start();
        while (begun < workers && waited.elapsed() < 20000)
            QThread::msleep(1);
        if (begun == workers)
            ++met;
    };
    int failed = -1;
    RunParallelJobs(workers, workers, job, kNoProgress, failed);
    EXPECT_EQ(met, workers);
    for (int worker = 0; worker < workers; ++worker)
        EXPECT_EQ(ranBy[size_t(worker)], 1) << "worker " << worker;
}

// The outer jobs hold every thread of the pool while they wait for their own jobs.
TEST(ParallelJobs, JobsOnEveryPictureThreadRunJobsOfTheirOwn) {
    const int threads = PictureThreads().maxThreadCount();
    std::atomic<int> inner{0};
    const auto job = [&](int) {
        int failed = -1;
        RunParallelJobs(2, 2, [&](int) { ++inner; }, kNoProgress, failed);
    };
    int failed = -1;
    RunParallelJobs(threads, threads, job, kNoProgress, failed);
    EXPECT_EQ(inner, 2 * threads);
}
