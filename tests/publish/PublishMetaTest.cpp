// Published pictures without their location: real photos with GPS in every format through the real run,
// checked by exiftool, exiv2 and byte by byte; hostile metadata refused by name; the rule kept in profiles.
#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QRegularExpression>

#include "gallery/Gallery.h"
#include "publish/GalleryRun.h"
#include "publish/PublishMeta.h"
#include "gfx/GfxJpeg.h"
#include "settings/VlxProfileU.h"
#include "support/HostileFiles.h"
#include "support/TestSupport.h"

namespace {

// What exiftool (every tag, numbers plain) and exiv2 (every tag) say about a file.
QString ToolsSay(const QString& file) {
    QString said;
    for (const auto& [program, args] :
         {std::pair<QString, QStringList>{"exiftool", {"-a", "-G1", "-s", "-n"}},
          std::pair<QString, QStringList>{"exiv2", {"-pa"}}}) {
        QProcess tool;
        tool.start(program, args + QStringList{file});
        EXPECT_TRUE(tool.waitForFinished(60000))
            << program.toStdString() << " did not run; scripts/deps --test";
        said += QString::fromUtf8(tool.readAllStandardOutput());
    }
    return said;
}

// A position or place with a value, as exiftool ("[GPS] GPSLatitude : 48.85") or exiv2
// ("Exif.GPSInfo.GPSLatitude Rational 3 48deg") writes it; a blanked field has no value.
bool SaysPosition(const QString& said) {
    static const QString names = "(GPSLatitude|GPSLongitude|GPSPosition|GPSAltitude|City|Country[\\w-]*)";
    static const QRegularExpression exiftool("^\\[\\S+\\]\\s+" + names + "\\s+: *[^\\s\\x00]",
                                             QRegularExpression::MultilineOption);
    static const QRegularExpression exiv2("^\\S+\\." + names + "\\s+\\S+\\s+\\d+\\s+[^\\s\\x00]",
                                          QRegularExpression::MultilineOption);
    return said.contains(exiftool) || said.contains(exiv2);
}

// One picture published by the real run into out under rule.
TRunResult Publish(const QString& picture, const QString& out, TPublishMeta rule) {
    EnsureGuiApplication();
    TGallery gallery;
    gallery.SetPlainNames(true);
    gallery.SetTableSize(1, 1);
    EXPECT_TRUE(gallery.PlaceFiles({picture}).empty());
    gallery.Settings.PublishMeta = rule;
    TGalleryRun run(gallery);
    run.Threads = 1;
    return run.Run(out);
}

struct TPublishRow {
    const char* File;
    TPublishMeta Rule;
};

class TPublishTest : public testing::TestWithParam<TPublishRow> {};

} // namespace

// Every file the run writes (the copy, and the PNG a browser is shown for TIFF and HEIC) carries no position;
// removing the location keeps the rest (the title, the camera), "orientation only" keeps just the turn.
TEST_P(TPublishTest, NoToolFindsAPosition) {
    TTempDir out;
    const TRunResult result =
        Publish(TestData(QString("publish/") + GetParam().File), out.Path(), GetParam().Rule);
    ASSERT_TRUE(result.Ok()) << result.Failure.toStdString();
    for (const QString& name : QDir(out.Path()).entryList(QDir::Files)) {
        const QString said = ToolsSay(out.File(name));
        EXPECT_FALSE(SaysPosition(said)) << name.toStdString() << ":\n" << said.toStdString();
        if (name != GetParam().File)
            continue;
        EXPECT_TRUE(said.contains(QRegularExpression("Orientation\\s+: 6"))) << said.toStdString();
        const bool keepsRest = GetParam().Rule == pmRemoveLocation;
        EXPECT_EQ(said.contains("Tower"), keepsRest) << said.toStdString();
        EXPECT_EQ(said.contains("TestData"), keepsRest) << said.toStdString();
        // Blanked where it stood: nothing moved (a PNG's text chunks are rewritten with their check sums).
        if (keepsRest) {
            EXPECT_EQ(QFileInfo(out.File(name)).size(),
                      ReadBytes(TestData(QString("publish/") + name)).size());
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, TPublishTest,
                         testing::Values(TPublishRow{"photo_gps.jpg", pmRemoveLocation},
                                         TPublishRow{"photo_gps.png", pmRemoveLocation},
                                         TPublishRow{"photo_gps.webp", pmRemoveLocation},
                                         TPublishRow{"photo_gps.tif", pmRemoveLocation},
                                         TPublishRow{"photo_gps.heic", pmRemoveLocation},
                                         TPublishRow{"photo_gps.jpg", pmOrientationOnly},
                                         TPublishRow{"photo_gps.png", pmOrientationOnly},
                                         TPublishRow{"photo_gps.webp", pmOrientationOnly},
                                         TPublishRow{"photo_gps.tif", pmOrientationOnly},
                                         TPublishRow{"photo_gps.heic", pmOrientationOnly}),
                         [](const auto& info) {
                             return QString(info.param.File).section('.', 1).toStdString() +
                                    (info.param.Rule == pmRemoveLocation ? "_location" : "_orientation");
                         });

// A picture without a location (a JPEG, a GIF with XMP) is copied byte for byte; "keep all" copies the
// position too, and a later run that removes it replaces that copy.
TEST(PublishMeta, CopiesStayExactUnlessTheyHoldALocation) {
    TTempDir out;
    for (const char* name : {"photo_nogps.jpg", "photo_nogps.gif"}) {
        const QString plain = TestData(QString("publish/") + name);
        ASSERT_TRUE(Publish(plain, out.Path(), pmRemoveLocation).Ok()) << name;
        EXPECT_EQ(ReadBytes(out.File(name)), ReadBytes(plain)) << name;
    }

    const QString located = TestData("publish/photo_gps.jpg");
    ASSERT_TRUE(Publish(located, out.Path(), pmKeepAll).Ok());
    EXPECT_EQ(ReadBytes(out.File("photo_gps.jpg")), ReadBytes(located));
    ASSERT_TRUE(Publish(located, out.Path(), pmRemoveLocation).Ok());
    EXPECT_FALSE(SaysPosition(ToolsSay(out.File("photo_gps.jpg"))));
}

// Published into its own folder, a photo with a location would be its own copy: it is refused, untouched.
TEST(PublishMeta, NeverWritesOverTheSource) {
    TTempDir dir;
    const QByteArray bytes = ReadBytes(TestData("publish/photo_gps.jpg"));
    WriteBytes(dir.File("photo.jpg"), bytes);
    const TRunResult result = Publish(dir.File("photo.jpg"), dir.Path(), pmRemoveLocation);
    EXPECT_TRUE(result.Failure.contains("its copy would be the picture itself"))
        << result.Failure.toStdString();
    EXPECT_EQ(ReadBytes(dir.File("photo.jpg")), bytes);
}

// A picture appended after the main one (a phone's preview or depth map) is cleaned too.
TEST(PublishMeta, AppendedPictureLosesItsPosition) {
    const QString file = TestData("publish/photo_gps_appended.jpg");
    const QByteArray bytes = ReadBytes(file);
    const qsizetype appended = bytes.indexOf("\xFF\xD8", 2);
    ASSERT_GT(appended, 0);
    TTempDir dir;
    WriteBytes(dir.File("before.jpg"), bytes.mid(appended));
    ASSERT_TRUE(SaysPosition(ToolsSay(dir.File("before.jpg"))));
    const QByteArray published = PublishedBytes(file, bytes, pmRemoveLocation);
    WriteBytes(dir.File("after.jpg"), published.mid(appended));
    EXPECT_FALSE(SaysPosition(ToolsSay(dir.File("after.jpg"))));
    EXPECT_EQ(published.size(), bytes.size());
}

// The removed values are gone from the copy's bytes, not only out of the tools' reach: the test photos' GPS
// rationals (48/1 51/1 36999/1250 and 2/1 17/1 201/5, in the byte order of the EXIF holding them), their XMP
// coordinates and the city, wherever the source holds them: in the EXIF and XMP of each format, a picture
// appended to a JPEG, the JPEG thumbnail inside a JPEG's EXIF, a GIF's XMP. What is not location stays.
TEST(PublishMeta, RemovedValuesAreGoneFromTheBytes) {
    const auto rationals = [](std::initializer_list<quint32> numbers, bool bigEndian) {
        QByteArray bytes;
        for (const quint32 n : numbers)
            for (int i = 0; i < 4; ++i)
                bytes += char(n >> (bigEndian ? 24 - 8 * i : 8 * i));
        return bytes;
    };
    QList<QByteArray> location = {"48,51.49332N", "2,17.67E", "Paris"};
    for (const bool bigEndian : {true, false})
        location << rationals({48, 1, 51, 1, 36999, 1250}, bigEndian)
                 << rationals({2, 1, 17, 1, 201, 5}, bigEndian);
    for (const QString name :
         {"photo_gps.jpg", "photo_gps.png", "photo_gps.webp", "photo_gps.tif", "photo_gps.heic",
          "photo_gps_appended.jpg", "photo_gps_thumbnail.jpg", "photo_gps.gif"}) {
        for (const TPublishMeta rule : {pmRemoveLocation, pmOrientationOnly}) {
            if (name == "photo_gps_appended.jpg" && rule == pmOrientationOnly)
                continue; // refused: Exiv2 copies the appended picture as it is
            SCOPED_TRACE((name + (rule == pmRemoveLocation ? " without location" : " orientation only"))
                             .toStdString());
            const QString file = TestData("publish/" + name);
            const QByteArray source = ReadBytes(file);
            const QByteArray copy = PublishedBytes(file, source, rule);
            int held = 0;
            for (const QByteArray& value : location) {
                if (!source.contains(value))
                    continue;
                ++held;
                EXPECT_FALSE(copy.contains(value)) << value.toHex().toStdString();
            }
            EXPECT_GE(held, name.endsWith(".gif") ? 3 : 5); // the texts, and both rationals but in a GIF
            EXPECT_EQ(copy.contains("Tower"), rule == pmRemoveLocation);
            if (rule == pmOrientationOnly || (!name.endsWith(".gif") && !name.contains("thumbnail")))
                continue;
            // What the tools read of the places Exiv2 does not look into: the GIF's XMP, the thumbnail's
            // EXIF.
            TTempDir dir;
            WriteBytes(dir.File("copy"), copy);
            QString looked = dir.File("copy");
            if (name.contains("thumbnail")) {
                QProcess tool;
                tool.start("exiftool", {"-b", "-ThumbnailImage", dir.File("copy")});
                ASSERT_TRUE(tool.waitForFinished(60000));
                WriteBytes(looked = dir.File("thumbnail.jpg"), tool.readAllStandardOutput());
            }
            const QString said = ToolsSay(looked);
            EXPECT_FALSE(SaysPosition(said)) << said.toStdString();
            EXPECT_TRUE(said.contains("Tower")) << said.toStdString();
        }
    }
}

// A compressed comment that inflates to 1 MB (Exiv2 refuses a whole picture for one past 128 KiB) holds no
// location: the picture without one is published as it is, the one with one without it.
TEST(PublishMeta, CompressedCommentInflatingFarIsNoReasonToRefuse) {
    const QByteArray comment = QByteArray("Comment\0\0", 9) + ZlibStream(QByteArray(1 << 20, 'c'));
    TTempDir dir;
    for (const char* source : {"gfx/valid/kind_photo.png", "publish/photo_gps.png"}) {
        const QByteArray bytes = PngWithChunk(ReadBytes(TestData(source)), "zTXt", comment, false);
        for (const TPublishMeta rule : {pmRemoveLocation, pmOrientationOnly}) {
            QByteArray published;
            ASSERT_NO_THROW(published = PublishedBytes(source, bytes, rule)) << source;
            WriteBytes(dir.File("out.png"), published);
            EXPECT_FALSE(SaysPosition(ToolsSay(dir.File("out.png")))) << source;
            if (rule == pmRemoveLocation && QString(source).contains("kind_photo")) {
                EXPECT_EQ(published, bytes);
            }
        }
    }
}

class THostileTest : public testing::TestWithParam<const char*> {};

// Metadata that cannot be followed safely is refused naming the picture; written anew ("orientation only")
// it may be published, without a position.
TEST_P(THostileTest, RefusedByNameOrPublishedWithoutPosition) {
    const QString file = TestData(QString("publish/") + GetParam());
    EXPECT_THROW(
        try { PublishedBytes(file, ReadBytes(file), pmRemoveLocation); } catch (const EGalleryException& e) {
            EXPECT_TRUE(QString(e.what()).startsWith("Cannot remove the location from " + file + ": "))
                << e.what();
            throw;
        },
        EGalleryException);
    TTempDir dir;
    try {
        WriteBytes(dir.File("out.jpg"), PublishedBytes(file, ReadBytes(file), pmOrientationOnly));
        EXPECT_FALSE(SaysPosition(ToolsSay(dir.File("out.jpg"))));
    } catch (const EGalleryException& e) {
        EXPECT_TRUE(QString(e.what()).startsWith("Cannot remove the location from " + file + ": "))
            << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(Files, THostileTest,
                         testing::Values("hostile_ifd_loop.jpg", "hostile_exif_ifd_loop.jpg",
                                         "hostile_exif_truncated.jpg", "hostile_gps_count_huge.jpg",
                                         "hostile_segment_past_end.jpg", "hostile_xmp_unclosed.jpg"),
                         [](const auto& info) {
                             return QString(info.param).section('.', 0, 0).toStdString();
                         });

// A refused picture stops the run by name, and no copy of it is written.
TEST(PublishMeta, RefusedPictureIsNotCopied) {
    TTempDir out;
    const QString picture = TestData("publish/hostile_ifd_loop.jpg");
    const TRunResult result = Publish(picture, out.Path(), pmRemoveLocation);
    EXPECT_TRUE(result.Failure.startsWith("Cannot remove the location from " + picture))
        << result.Failure.toStdString();
    EXPECT_FALSE(QFileInfo::exists(out.File("hostile_ifd_loop.jpg")));
}

// A web-sized JPEG made from a photo takes its metadata under the rule, upright.
TEST(PublishMeta, NewJpegTakesTheSourcesMetadataUpright) {
    EnsureGuiApplication();
    QImage small(16, 8, QImage::Format_BGR888);
    small.fill(Qt::darkGreen);
    const QByteArray fresh = EncodeJpeg(small, 75, "fresh.jpg");
    TTempDir dir;
    for (const char* source : {"photo_gps.jpg", "photo_gps.heic"}) {
        for (const TPublishMeta rule : {pmRemoveLocation, pmOrientationOnly}) {
            const QString file = dir.File(QString("web_%1.jpg").arg(rule));
            WriteBytes(file, JpegWithMetadataOf(TestData(QString("publish/") + source), fresh, rule));
            const QString said = ToolsSay(file);
            EXPECT_FALSE(SaysPosition(said)) << source << ":\n" << said.toStdString();
            EXPECT_TRUE(said.contains(QRegularExpression("Orientation\\s+: 1"))) << said.toStdString();
            EXPECT_EQ(said.contains("TestData"), rule == pmRemoveLocation) << source << said.toStdString();
        }
    }
}

// The rule is kept with the profile; slots written before it was kept read as removing the location.
TEST(PublishMeta, StoredWithTheProfile) {
    TProfileRecord record = ProfileFromSettings(StartUpSettings());
    QByteArray before = record.ToBytes().left(TProfileRecord::kSize);
    EXPECT_EQ(SettingsFromProfile(TProfileRecord::FromBytes(before)).PublishMeta, pmRemoveLocation);
    QByteArray flagsOff = record.ToBytes();
    flagsOff[TProfileRecord::kSize + 5] = 0;
    EXPECT_EQ(SettingsFromProfile(TProfileRecord::FromBytes(flagsOff)).PublishMeta, pmRemoveLocation);
    for (const TPublishMeta rule : {pmKeepAll, pmRemoveLocation, pmOrientationOnly}) {
        TGallerySettings settings = StartUpSettings();
        settings.PublishMeta = rule;
        EXPECT_EQ(SettingsFromProfile(TProfileRecord::FromBytes(ProfileFromSettings(settings).ToBytes()))
                      .PublishMeta,
                  rule);
    }
}
