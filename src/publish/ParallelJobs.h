// Jobs of a run done on the picture threads while the calling thread stays free to tell the progress.
#pragma once

#include <functional>
#include <vector>

// Does job(i) for every i below count on `threads` workers (at least one, at most count) of PictureThreads(),
// handing the indexes out in order; the pool grows for the call when it has fewer threads, and a caller that
// is one of them lends its own while it waits. Meanwhile the calling thread runs progress(done, lastDone)
// about ten times a second, and once more at the end. A job that throws stops the handing out; once the
// running jobs are over, the exception of the earliest failed index is raised again with failedJob set to
// that index. So is one that progress throws (a cancel), after the running jobs are over. finished, when
// given, tells for each index whether its job ended without an exception, however the call ends.
void RunParallelJobs(int count, int threads, const std::function<void(int)>& job,
                     const std::function<void(int done, int lastDone)>& progress, int& failedJob,
                     std::vector<char>* finished = nullptr);
// The same, job(i, worker) also told which of the workers (0 to threads - 1) runs it, for what each worker
// keeps of its own: a worker does one job at a time, on one thread.
void RunParallelJobs(int count, int threads, const std::function<void(int i, int worker)>& job,
                     const std::function<void(int done, int lastDone)>& progress, int& failedJob,
                     std::vector<char>* finished = nullptr);
