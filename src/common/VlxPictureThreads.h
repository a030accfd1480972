// The threads that read, decode and write pictures, shared by the whole process.
#pragma once

#include <QThreadPool>

// One thread for each core, for every picture job of the process: a grid placing, a gallery's reading and a
// run's jobs going on at once share the cores instead of each taking all of them. A job on it never waits
// for other jobs on it, unless inside a TPictureThreadsWait.
QThreadPool& PictureThreads();

// While it lives, PictureThreads() starts up to `extra` threads beyond its size: for a caller that needs more
// jobs running at once than there are cores.
class TPictureThreadsExtra {
public:
    explicit TPictureThreadsExtra(int extra);
    ~TPictureThreadsExtra();
    TPictureThreadsExtra(const TPictureThreadsExtra&) = delete;
    TPictureThreadsExtra& operator=(const TPictureThreadsExtra&) = delete;

private:
    int FExtra;
};

// Around a wait on a thread that may be one of PictureThreads()'s own: meanwhile another thread takes its
// place, so that the jobs waited for (or whatever the waiting one holds up) still get a thread.
class TPictureThreadsWait : public TPictureThreadsExtra {
public:
    TPictureThreadsWait();
};
