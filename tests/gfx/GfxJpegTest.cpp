// Saving as JPEG: baseline colour files of the given quality that decode again, written all or nothing.
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include "GfxTestUtil.h"
#include "support/TestSupport.h"

namespace {

// The segment that follows the first marker of the given kind, or empty.
QByteArray Segment(const QByteArray& jpeg, uchar marker) {
    for (qsizetype i = 2; i + 4 <= jpeg.size();) {
        if (static_cast<uchar>(jpeg[i]) != 0xFF)
            return {};
        const auto kind = static_cast<uchar>(jpeg[i + 1]);
        const int length = (static_cast<uchar>(jpeg[i + 2]) << 8) | static_cast<uchar>(jpeg[i + 3]);
        if (kind == marker)
            return jpeg.mid(i + 4, length - 2);
        if (kind == 0xDA) // start of scan: no more header segments
            return {};
        i += 2 + length;
    }
    return {};
}

// The first luminance quantiser: 16 in the standard table, scaled by quality (75: 16 * 50 / 100 = 8).
int FirstQuantiser(const QByteArray& jpeg) {
    const QByteArray dqt = Segment(jpeg, 0xDB);
    return dqt.size() > 1 ? static_cast<uchar>(dqt[1]) : -1;
}

// A picture with colour in it: a ramp of red to the right and green downwards.
void MakeRamp(TGfxBaseIm& image, int w, int h) {
    image.SetSize(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uchar* p = image.Bitmap().scanLine(y) + 3 * x;
            p[0] = 60;
            p[1] = static_cast<uchar>(y * 255 / (h - 1));
            p[2] = static_cast<uchar>(x * 255 / (w - 1));
        }
}

class SaveAsJpeg : public testing::Test {
protected:
    TTempDir FDir;
    TGfxBaseIm FPicture;
    void SetUp() override { MakeRamp(FPicture, 150, 120); }
};

TEST_F(SaveAsJpeg, WritesABaselineColourJpegThatDecodesAgain) {
    const QString name = FDir.File("thumb.jpg");
    FPicture.SaveAsJpeg(name, 75);
    const QByteArray bytes = ReadBytes(name);
    ASSERT_TRUE(bytes.startsWith("\xFF\xD8"));
    const QByteArray sof0 = Segment(bytes, 0xC0);
    ASSERT_EQ(sof0.size(), 15) << "baseline SOF0 with three components";
    EXPECT_TRUE(Segment(bytes, 0xC2).isEmpty()) << "not progressive";
    EXPECT_EQ((static_cast<uchar>(sof0[1]) << 8) | static_cast<uchar>(sof0[2]), 120);
    EXPECT_EQ((static_cast<uchar>(sof0[3]) << 8) | static_cast<uchar>(sof0[4]), 150);
    EXPECT_EQ(static_cast<uchar>(sof0[5]), 3) << "colour, not grey";
    EXPECT_EQ(FirstQuantiser(bytes), 8) << "quality 75";

    TGfxBaseIm again;
    again.LoadPicture(name);
    ASSERT_EQ(again.Width(), 150);
    ASSERT_EQ(again.Height(), 120);
    for (int y = 5; y < 120; y += 20)
        for (int x = 5; x < 150; x += 20)
            for (int c = 0; c < 3; ++c)
                ASSERT_NEAR(Px(again, x, y)[c], Px(FPicture, x, y)[c], 6)
                    << x << ", " << y << " channel " << c;
}

TEST_F(SaveAsJpeg, ReplacesAnExistingFileLeavingNothingElse) {
    const QString name = FDir.File("thumb.jpg");
    WriteBytes(name, QByteArray(100000, 'x'));
    FPicture.SaveAsJpeg(name, 75);
    EXPECT_TRUE(ReadBytes(name).startsWith("\xFF\xD8"));
    EXPECT_EQ(QDir(FDir.Path()).entryList(QDir::Files | QDir::Hidden), QStringList{"thumb.jpg"});
}

TEST_F(SaveAsJpeg, EmptyPictureIsRefusedAndTheOldFileStays) {
    const QString name = FDir.File("thumb.jpg");
    WriteBytes(name, "old");
    TGfxBaseIm empty;
    try {
        empty.SaveAsJpeg(name, 75);
        FAIL() << "saved";
    } catch (const EGfxException& e) {
        EXPECT_TRUE(e.Message().contains(name)) << e.what();
    }
    EXPECT_EQ(ReadBytes(name), QByteArray("old"));
}

class UnsavableName : public SaveAsJpeg, public testing::WithParamInterface<const char*> {};

// Nothing is created, and a folder in the way stays a folder.
TEST_P(UnsavableName, IsAnErrorNamingTheFile) {
    ASSERT_TRUE(QDir(FDir.Path()).mkpath("album.jpg"));
    WriteBytes(FDir.File("notes.txt"), "text");
    const QString name = FDir.File(QString::fromUtf8(GetParam()));
    try {
        FPicture.SaveAsJpeg(name, 75);
        FAIL() << "saved";
    } catch (const EGfxException& e) {
        EXPECT_TRUE(e.Message().contains(name)) << e.what();
    }
    EXPECT_EQ(QDir(FDir.Path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              (QStringList{"album.jpg", "notes.txt"}));
    EXPECT_TRUE(QFileInfo(FDir.File("album.jpg")).isDir());
}

INSTANTIATE_TEST_SUITE_P(Names, UnsavableName,
                         testing::Values("no/such/folder/thumb.jpg", "album.jpg", "notes.txt/thumb.jpg"));

// In a folder that cannot be written, the old file stays whole and no temporary file is left.
TEST_F(SaveAsJpeg, UnwritableFolderKeepsTheOldFile) {
    if (geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders";
    const QString name = FDir.File("thumb.jpg");
    WriteBytes(name, "old");
    ASSERT_TRUE(QFile::setPermissions(FDir.Path(), QFile::ReadOwner | QFile::ExeOwner));
    EXPECT_THROW(FPicture.SaveAsJpeg(name, 75), EGfxException);
    QFile::setPermissions(FDir.Path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(ReadBytes(name), QByteArray("old"));
    EXPECT_EQ(QDir(FDir.Path()).entryList(QDir::Files | QDir::Hidden), QStringList{"thumb.jpg"});
}

} // namespace
