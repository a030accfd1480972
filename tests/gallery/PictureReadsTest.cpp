// Picture files read for placing while the reads of other kinds than JPEG are held back.
#include <atomic>
#include <memory>

#include <gtest/gtest.h>

#include "common/VlxPictureThreads.h"
#include "gallery/Gallery.h"
#include "support/TestSupport.h"

// Readers held on every picture thread leave the pool to other work meanwhile.
TEST(PictureReads, HeldReadsLeaveThePictureThreadsToOtherWork) {
    EnsureGuiApplication();
    const QStringList paths(PictureThreads().maxThreadCount(), TestData("gfx/valid/kind_photo.png"));
    const auto ran = std::make_shared<std::atomic<bool>>(false);
    HoldPluginReads();
    {
        const TPictureReads reads(paths, QSize(100, 100));
        PictureThreads().start([ran] { *ran = true; });
        const bool free = PumpUntil([&] { return ran->load(); });
        ReleasePluginReads();
        EXPECT_TRUE(free);
    }
    EXPECT_TRUE(PumpUntil([&] { return ran->load(); }));
}
