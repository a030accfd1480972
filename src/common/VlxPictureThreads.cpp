// The process's picture threads, and lending them more for a while.
#include "common/VlxPictureThreads.h"

#include <algorithm>

#include <QThread>

namespace {

class TPictureThreads : public QThreadPool {
public:
    TPictureThreads() { setMaxThreadCount(std::max(1, QThread::idealThreadCount())); }
};

} // namespace

// Made on first use and taken down at exit, once its threads are done.
QThreadPool& PictureThreads() {
    static TPictureThreads pool;
    return pool;
}

// A thread released without being reserved raises the pool's limit by one until it is reserved again; the
// pool starts a queued job on it at once.
TPictureThreadsExtra::TPictureThreadsExtra(int extra) : FExtra(std::max(0, extra)) {
    for (int i = 0; i < FExtra; ++i)
        PictureThreads().releaseThread();
}

TPictureThreadsExtra::~TPictureThreadsExtra() {
    for (int i = 0; i < FExtra; ++i)
        PictureThreads().reserveThread();
}

TPictureThreadsWait::TPictureThreadsWait()
    : TPictureThreadsExtra(PictureThreads().contains(QThread::currentThread()) ? 1 : 0) {}
