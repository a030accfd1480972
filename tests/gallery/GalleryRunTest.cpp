// The generation run without a window: a run stopped in any phase leaves only whole files under the
// gallery's names.
#include <gtest/gtest.h>

#include <QDir>

#include "gallery/Gallery.h"
#include "gallery/GalleryRun.h"
#include "support/TestSupport.h"

namespace {

class TCancelTest : public testing::TestWithParam<TRunPhase> {
protected:
    void SetUp() override { EnsureGuiApplication(); }
};

} // namespace

TEST_P(TCancelTest, StoppedRunLeavesOnlyWholeFiles) {
    TTempDir pictures;
    QStringList files;
    for (int i = 0; i < 6; ++i) {
        files << pictures.File(QString("p%1.jpg").arg(i));
        WriteBytes(files.back(), ReadBytes(TestData("gen/jpeg_baseline_420.jpg")));
    }
    TGallery gallery;
    gallery.SetTableSize(3, 2);
    ASSERT_TRUE(gallery.PlaceFiles(files).empty());
    TTempDir out;
    TRunCancel cancel;
    TGalleryRun run(gallery);
    run.Threads = 1;
    const TRunResult result = run.Run(out.Path(), [&](const TRunProgress& progress) {
        if (progress.Phase == GetParam() && progress.Done >= 1)
            cancel.Cancel();
    }, &cancel);

    EXPECT_TRUE(result.Cancelled);
    EXPECT_EQ(result.Failure, kRunCancelled);
    const QStringList left = QDir(out.Path()).entryList(QDir::Files | QDir::Hidden);
    EXPECT_FALSE(left.contains("index.html"));
    for (const QString& name : left) {
        EXPECT_TRUE(result.Written.contains(out.File(name))) << name.toStdString();
        if (name.endsWith(".jpg")) {
            TGfxBaseIm picture;
            EXPECT_NO_THROW(picture.LoadPicture(out.File(name)));
            EXPECT_TRUE(picture.HasImage()) << name.toStdString();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Phases, TCancelTest,
                         testing::Values(TRunPhase::Copy, TRunPhase::Thumbnails, TRunPhase::Pages),
                         [](const auto& info) { return RunPhaseName(info.param).toStdString(); });
