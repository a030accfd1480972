// The profile record's bytes: field offsets, cutting of long strings, damaged length bytes.
#include <gtest/gtest.h>

#include "settings/VlxProfileU.h"
#include "support/TestSupport.h"

namespace {

QByteArray Le32(std::uint32_t v) {
    QByteArray bytes;
    for (int shift = 0; shift < 32; shift += 8)
        bytes.append(static_cast<char>((v >> shift) & 0xFF));
    return bytes;
}

QByteArray Str(const QByteArray& utf8) {
    return static_cast<char>(utf8.size()) + utf8;
}

// Every field set, none to its default, bytes at 128 and above and negative integers included.
TProfileRecord FullRecord() {
    TProfileRecord r;
    r.Name = QStringLiteral("Holiday");
    r.BkgFile = QStringLiteral("/home/ann/bkg.jpg");
    r.BkgColor = clNone;
    r.ThumbWidth = 120;
    r.ThumbHeight = 90;
    r.ThumbBevel.Size = 3;
    r.ThumbBevel.Style = 2;
    r.ThumbBevel.Intensity = 200;
    r.MaskSize = 7;
    r.MaskStyle = 3;
    r.ShadowSize = 5;
    r.ShadowDistance = -4;
    r.ShadowIntensity = 255;
    r.PicWidth = 100;
    r.PicHeight = 75;
    r.PicBevel.Size = 2;
    r.PicBevel.Style = 1;
    r.PicBevel.Intensity = 130;
    r.Title = QStringLiteral("Sommer in Köln");
    r.TextColor = 0x000000FF;
    r.LinkColor = 0x0000FF00;
    r.VLinkColor = 0x00FF0000;
    r.ALinkColor = 0x00123456;
    r.TableTitle = QStringLiteral("Pictures");
    r.TableTitleFontSize = 2;
    r.TableTitleColor = 0x00ABCDEF;
    r.TableTitleAlign = 3;
    r.TableAlign = 1;
    r.Rows = 4;
    r.Columns = 5;
    r.CellSpacing = 6;
    r.PicInfo = 7;
    r.PicInfoFontSize = -1;
    r.PicInfoColor = 0x00654321;
    r.PicInfoAlign = 2;
    r.LineWidth = 100;
    r.BackLink = QStringLiteral("index.html");
    r.BackLinkText = QStringLiteral("Return");
    r.BackLinkFontSize = -2;
    r.BackLinkAlign = 2;
    r.LinkInOrder = true;
    r.FitToWindow = true;
    r.CaptionUnderThumb = true;
    r.PrevText = QStringLiteral("Zur\u00FCck");
    r.NextText = QStringLiteral("Weiter");
    r.WebSize = true;
    r.WebMaxSide = 1600;
    r.PublishOriginal = true;
    r.PageRows = 12;
    return r;
}

struct TFieldAt {
    const char* Field;
    int Offset;
    QByteArray Bytes;
};

void PrintTo(const TFieldAt& f, std::ostream* os) {
    *os << f.Field;
}

class ProfileRecordLayout : public testing::TestWithParam<TFieldAt> {};

// The record goes through the store to the file, and the raw file is checked at the layout's offsets.
TEST_P(ProfileRecordLayout, FieldSitsAtItsOffsetInTheFile) {
    TTempDir dir;
    const QString path = dir.File("profiles.vlx");
    {
        TProfileManager store(path);
        store.WriteProfile(0, FullRecord());
    }
    const QByteArray file = ReadBytes(path);
    ASSERT_EQ(file.size(), TProfileManager::kSlotSize);
    const TFieldAt& field = GetParam();
    EXPECT_EQ(file.mid(field.Offset, field.Bytes.size()).toHex(), field.Bytes.toHex()) << field.Field;
}

INSTANTIATE_TEST_SUITE_P(
    AllFields, ProfileRecordLayout,
    testing::Values(
        TFieldAt{"Name", 0, Str("Holiday")}, TFieldAt{"BkgFile", 51, Str("/home/ann/bkg.jpg")},
        TFieldAt{"BkgColor", 252, Le32(0x1FFFFFFF)}, TFieldAt{"ThumbWidth", 256, Le32(120)},
        TFieldAt{"ThumbHeight", 260, Le32(90)}, TFieldAt{"ThumbBevelSize", 264, Le32(3)},
        TFieldAt{"ThumbBevelStyle+Intensity", 268, QByteArray("\x02\xC8", 2)},
        TFieldAt{"MaskSize", 270, Le32(7)}, TFieldAt{"MaskStyle", 274, QByteArray("\x03", 1)},
        TFieldAt{"ShadowSize", 275, Le32(5)}, TFieldAt{"ShadowDistance", 279, Le32(0xFFFFFFFC)},
        TFieldAt{"ShadowIntensity", 283, QByteArray("\xFF", 1)}, TFieldAt{"PicWidth", 284, Le32(100)},
        TFieldAt{"PicHeight", 288, Le32(75)}, TFieldAt{"PicBevelSize", 292, Le32(2)},
        TFieldAt{"PicBevelStyle+Intensity", 296, QByteArray("\x01\x82", 2)},
        TFieldAt{"Title", 298, Str("Sommer in K\xC3\xB6ln")}, TFieldAt{"TextColor", 399, Le32(0xFF)},
        TFieldAt{"LinkColor", 403, Le32(0xFF00)}, TFieldAt{"VLinkColor", 407, Le32(0xFF0000)},
        TFieldAt{"ALinkColor", 411, Le32(0x123456)}, TFieldAt{"TableTitle", 415, Str("Pictures")},
        TFieldAt{"TableTitleFontSize", 516, Le32(2)}, TFieldAt{"TableTitleColor", 520, Le32(0xABCDEF)},
        TFieldAt{"TableTitleAlign+TableAlign", 524, QByteArray("\x03\x01", 2)},
        TFieldAt{"Rows", 526, Le32(4)}, TFieldAt{"Columns", 530, Le32(5)},
        TFieldAt{"CellSpacing", 534, Le32(6)}, TFieldAt{"PicInfo", 538, QByteArray("\x07", 1)},
        TFieldAt{"PicInfoFontSize", 539, Le32(0xFFFFFFFF)}, TFieldAt{"PicInfoColor", 543, Le32(0x654321)},
        TFieldAt{"PicInfoAlign", 547, QByteArray("\x02", 1)}, TFieldAt{"LineWidth", 548, Le32(100)},
        TFieldAt{"BackLink", 552, Str("index.html")}, TFieldAt{"BackLinkText", 653, Str("Return")},
        TFieldAt{"BackLinkFontSize", 754, Le32(0xFFFFFFFE)},
        TFieldAt{"BackLinkAlign", 758, QByteArray("\x02", 1)},
        TFieldAt{"mark+version+flags", 759, QByteArray("VLXP\x02\x67", 6)},
        TFieldAt{"PrevText", 765,
                 Str("Zur\xC3\xBC"
                     "ck")},
        TFieldAt{"NextText", 866, Str("Weiter")}, TFieldAt{"WebMaxSide", 967, Le32(1600)},
        TFieldAt{"PageRows", 971, Le32(12)},
        TFieldAt{"slot tail", 975, QByteArray(TProfileManager::kSlotSize - 975, '\0')}));

// A slot written before the page settings were added: the original 759 bytes, then zeros (or, in a damaged
// file, anything without the mark). Both settings read as off and the link texts as their defaults.
class ProfileRecordBefore : public testing::TestWithParam<QByteArray> {};

TEST_P(ProfileRecordBefore, ReadsTheLaterSettingsAsOff) {
    QByteArray slot = FullRecord().ToBytes().left(TProfileRecord::kSize) + GetParam();
    slot.append(TProfileManager::kSlotSize - slot.size(), '\0');
    const TProfileRecord back = TProfileRecord::FromBytes(slot);
    EXPECT_EQ(back.Name, QStringLiteral("Holiday"));
    EXPECT_EQ(back.BackLinkAlign, 2);
    EXPECT_FALSE(back.LinkInOrder);
    EXPECT_FALSE(back.FitToWindow);
    EXPECT_FALSE(back.CaptionUnderThumb);
    EXPECT_EQ(back.PrevText, QStringLiteral("Previous"));
    EXPECT_EQ(back.NextText, QStringLiteral("Next"));
    EXPECT_FALSE(back.WebSize);
    EXPECT_EQ(back.WebMaxSide, 2048);
}

// A slot of version 1 (order links and fit only) publishes its pictures as they are: the web size reads as
// off, whatever its flags byte and the bytes after its texts hold.
TEST(ProfileRecord, VersionOneReadsTheWebSizeAsOff) {
    QByteArray slot = FullRecord().ToBytes();
    slot[763] = 1;
    const TProfileRecord back = TProfileRecord::FromBytes(slot);
    EXPECT_TRUE(back.LinkInOrder && back.FitToWindow);
    EXPECT_FALSE(back.WebSize);
    EXPECT_FALSE(back.PublishOriginal);
    EXPECT_EQ(back.WebMaxSide, 2048);
}

INSTANTIATE_TEST_SUITE_P(Tails, ProfileRecordBefore,
                         testing::Values(QByteArray(), QByteArray(300, '\xFF'), QByteArray("VLXQ\x01\x03", 6),
                                         QByteArray("VLXP\x00\x03", 6)));

// A slot of the first version ends after the link texts: whatever follows is not the table's page rows.
TEST(ProfileRecord, FirstVersionSlotKeepsTheTableOnOnePage) {
    QByteArray slot = FullRecord().ToBytes();
    slot[763] = 1;
    const TProfileRecord back = TProfileRecord::FromBytes(slot);
    EXPECT_EQ(back.NextText, QStringLiteral("Weiter"));
    EXPECT_EQ(back.PageRows, 0);
}

TEST(ProfileRecord, EveryFieldSurvivesTheFile) {
    TTempDir dir;
    TProfileManager store(dir.File("profiles.vlx"));
    store.WriteProfile(0, FullRecord());
    TProfileRecord back;
    store.ReadProfile(0, back);
    EXPECT_EQ(back, FullRecord());
}

TEST(ProfileRecord, AllZeroBytesAreTheEmptyRecord) {
    EXPECT_EQ(TProfileRecord::FromBytes(QByteArray(TProfileRecord::kSize, '\0')), TProfileRecord{});
    EXPECT_EQ(TProfileRecord::FromBytes(QByteArray()), TProfileRecord{});
}

struct TCutCase {
    const char* Label;
    QString Text;
    int FieldOffset;
    int FieldSize;
    int StoredLength;
};

void PrintTo(const TCutCase& c, std::ostream* os) {
    *os << c.Label;
}

class ProfileStringCut : public testing::TestWithParam<TCutCase> {};

// Long strings are cut to their field, never inside a UTF-8 character, and read back as cut.
TEST_P(ProfileStringCut, StoresWholeCharactersThatFit) {
    const TCutCase& c = GetParam();
    TProfileRecord record;
    if (c.FieldOffset == 0)
        record.Name = c.Text;
    else
        record.BkgFile = c.Text;
    const QByteArray bytes = record.ToBytes();
    ASSERT_EQ(bytes.size(), TProfileRecord::kStoredSize);
    EXPECT_EQ(static_cast<unsigned char>(bytes[c.FieldOffset]), c.StoredLength);
    const QByteArray stored = bytes.mid(c.FieldOffset + 1, c.StoredLength);
    EXPECT_TRUE(c.Text.toUtf8().startsWith(stored));
    EXPECT_EQ(QString::fromUtf8(stored).toUtf8(), stored) << "cut inside a character";
    const TProfileRecord back = TProfileRecord::FromBytes(bytes);
    EXPECT_EQ(c.FieldOffset == 0 ? back.Name : back.BkgFile, CutToField(c.Text, c.FieldSize));
    EXPECT_EQ(CutToField(c.Text, c.FieldSize).toUtf8(), stored);
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, ProfileStringCut,
    testing::Values(TCutCase{"name of 50 ASCII", QString(50, u'n'), 0, 50, 50},
                    TCutCase{"name of 51 ASCII", QString(51, u'n'), 0, 50, 50},
                    TCutCase{"two-byte char across the end", u'a' + QString(25, u'é'), 0, 50, 49},
                    TCutCase{"four-byte chars", QString::fromUtf8("😀😀😀😀😀😀😀😀😀😀😀😀😀"), 0, 50, 48},
                    TCutCase{"path of 201 ASCII", QString(201, u'p'), 51, 200, 200},
                    TCutCase{"path of 199 then a three-byte char", QString(199, u'p') + u'€', 51, 200, 199}),
    [](const auto& info) { return std::string("row") + std::to_string(info.index); });

// A damaged file whose length bytes exceed their fields still reads, each string within its own field.
TEST(ProfileRecord, OversizedLengthBytesAreClampedToTheField) {
    QByteArray bytes = FullRecord().ToBytes();
    bytes[0] = static_cast<char>(255);
    bytes.replace(1, 50, QByteArray(50, 'x'));
    bytes[298] = static_cast<char>(200);
    bytes.replace(299, 100, QByteArray(100, 't'));
    const TProfileRecord back = TProfileRecord::FromBytes(bytes);
    EXPECT_EQ(back.Name, QString(50, u'x'));
    EXPECT_EQ(back.BkgFile, FullRecord().BkgFile);
    EXPECT_EQ(back.Title, QString(100, u't'));
    EXPECT_EQ(back.TextColor, FullRecord().TextColor);
}

} // namespace
