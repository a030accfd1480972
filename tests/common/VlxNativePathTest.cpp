// Paths given by their bytes: a name that is not UTF-8 is read through its stand-in link and shown with its
// stray bytes read as Latin-1; a UTF-8 name is taken as it is.
#include <cstdio>

#include <sys/stat.h>

#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include "common/VlxNativePath.h"
#include "support/TestSupport.h"

namespace {

struct TNameRow {
    const char* Bytes;
    const char* Shown; // UTF-8
};

class NativePathTest : public testing::TestWithParam<TNameRow> {};

} // namespace

TEST_P(NativePathTest, IsReadByItsBytesAndShownAsLatin1) {
    TTempDir dir;
    const QByteArray path = QFile::encodeName(dir.Path()) + GetParam().Bytes;
    std::FILE* out = std::fopen(path.constData(), "wb");
    ASSERT_NE(out, nullptr);
    std::fputs("content", out);
    std::fclose(out);

    const QString link = PathFromNative(path);
    EXPECT_EQ(ShownPath(link), dir.File(QString::fromUtf8(GetParam().Shown)));
    QFile file(link);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << link.toStdString();
    EXPECT_EQ(file.readAll(), "content");
    EXPECT_EQ(PathFromNative(path), link); // one link per file
    // The file it stands for, and no file Qt names by the same letters.
    EXPECT_NE(CanonicalPath(link), QFileInfo(link).canonicalFilePath());
    struct stat folder {};
    ASSERT_EQ(::stat(QFile::encodeName(QFileInfo(QFileInfo(link).path()).path()).constData(), &folder), 0);
    EXPECT_EQ(folder.st_mode & 0777, 0700u);
}

INSTANTIATE_TEST_SUITE_P(Names, NativePathTest,
                         testing::Values(TNameRow{"caf\xE9.jpg", "café.jpg"},
                                         TNameRow{"\xC3\xA9t\xE9.jpg", "été.jpg"}, // UTF-8, then Latin-1
                                         TNameRow{"\xC0\xAF.jpg", "À¯.jpg"},       // an overlong '/'
                                         TNameRow{"\xED\xA0\x80.jpg", "í\u00A0\u0080.jpg"}, // a surrogate
                                         TNameRow{"cut\xE2\x82.jpg", "cutâ\u0082.jpg"}));

TEST(NativePath, AUtf8PathIsTakenAsItIs) {
    EXPECT_EQ(PathFromNative("/photos/été.jpg"), "/photos/été.jpg");
    EXPECT_EQ(ShownPath("/photos/été.jpg"), "/photos/été.jpg");
}
