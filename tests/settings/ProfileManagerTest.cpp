// The profile store on a real file: slots, lookup, free-slot reuse, partial slots and open failures.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QFile>
#include <QFileInfo>

#include "settings/VlxProfileU.h"
#include "support/TestSupport.h"

namespace {

constexpr int kSlot = TProfileManager::kSlotSize;

TProfileRecord Named(const QString& name, int rows = 1) {
    TProfileRecord record;
    record.Name = name;
    record.Rows = rows;
    record.Columns = rows;
    return record;
}

TEST(ProfileManager, MissingFileIsCreatedEmpty) {
    TTempDir dir;
    const QString path = dir.File("profiles.vlx");
    TProfileManager store(path);
    EXPECT_TRUE(QFile::exists(path));
    EXPECT_EQ(QFile(path).size(), 0);
    EXPECT_EQ(store.Count(), 0);
    EXPECT_TRUE(store.ProfileNames().isEmpty());
    EXPECT_EQ(store.FindProfile(QStringLiteral("default")), -1);
    EXPECT_EQ(store.FindProfile(QString()), -1);
}

TEST(ProfileManager, ExistingFileIsOpenedWithoutLosingSlots) {
    TTempDir dir;
    const QString path = dir.File("profiles.vlx");
    {
        TProfileManager store(path);
        store.AddProfile(Named(QStringLiteral("default")));
        store.AddProfile(Named(QStringLiteral("Holiday"), 4));
    }
    TProfileManager store(path);
    EXPECT_EQ(store.Count(), 2);
    EXPECT_EQ(store.ProfileNames(), QStringList({QStringLiteral("default"), QStringLiteral("Holiday")}));
    TProfileRecord record;
    store.ReadProfile(1, record);
    EXPECT_EQ(record, Named(QStringLiteral("Holiday"), 4));
}

TEST(ProfileManager, NamesDifferingInCaseFindTheSameSlot) {
    TTempDir dir;
    TProfileManager store(dir.File("profiles.vlx"));
    store.AddProfile(Named(QStringLiteral("default")));
    store.AddProfile(Named(QStringLiteral("Sommer Ärger")));
    EXPECT_EQ(store.FindProfile(QStringLiteral("DEFAULT")), 0);
    EXPECT_EQ(store.FindProfile(QStringLiteral("sommer ärger")), 1);
    EXPECT_EQ(store.FindProfile(QStringLiteral("SOMMER ÄRGER")), 1);
    EXPECT_EQ(store.FindProfile(QStringLiteral("Sommer")), -1);
}

// A name longer than the field can only have been stored cut; looking it up finds that profile, so a
// caller checking for a duplicate before adding does not store a second profile of the same stored name.
TEST(ProfileManager, OverlongNameFindsTheProfileItWasCutTo) {
    TTempDir dir;
    TProfileManager store(dir.File("profiles.vlx"));
    const QString longName = QString(48, u'x') + QStringLiteral("éé");
    store.AddProfile(Named(CutToField(longName, TProfileRecord::kNameSize)));
    EXPECT_EQ(store.FindProfile(longName.toUpper()), 0);
}

TEST(ProfileManager, DeletedMiddleSlotIsFreedAndReusedByTheNextAdd) {
    TTempDir dir;
    const QString path = dir.File("profiles.vlx");
    TProfileManager store(path);
    for (const char* name : {"a", "b", "c"})
        store.AddProfile(Named(QString::fromLatin1(name)));
    store.DeleteProfile(1);
    EXPECT_EQ(QFile(path).size(), 3 * kSlot);
    EXPECT_EQ(ReadBytes(path).mid(kSlot, kSlot), QByteArray(kSlot, '\0'));
    EXPECT_EQ(store.ProfileNames(), QStringList({QStringLiteral("a"), QStringLiteral("c")}));
    EXPECT_EQ(store.FindProfile(QString()), 1);

    EXPECT_EQ(store.AddProfile(Named(QStringLiteral("d"))), 1);
    EXPECT_EQ(QFile(path).size(), 3 * kSlot);
    EXPECT_EQ(store.ProfileNames(),
              QStringList({QStringLiteral("a"), QStringLiteral("d"), QStringLiteral("c")}));
    EXPECT_EQ(store.AddProfile(Named(QStringLiteral("e"))), 3);
}

// 5000 bytes: two whole slots and 904 bytes that count for nothing until a write to slot 2 replaces them.
TEST(ProfileManager, TrailingPartialSlotIsIgnoredUntilOverwritten) {
    TTempDir dir;
    const QString path = dir.File("profiles.vlx");
    QByteArray file = Named(QStringLiteral("one")).ToBytes();
    file.append(kSlot - file.size(), '\0');
    file += file;
    file.append(QByteArray(904, 'Z'));
    WriteBytes(path, file);

    TProfileManager store(path);
    EXPECT_EQ(store.Count(), 2);
    TProfileRecord record = Named(QStringLiteral("stale"));
    store.ReadProfile(2, record);
    EXPECT_EQ(record, TProfileRecord{});
    EXPECT_EQ(store.FindProfile(QStringLiteral("ZZZ")), -1);

    store.WriteProfile(1, TProfileRecord{});
    store.WriteProfile(2, Named(QStringLiteral("two")));
    EXPECT_EQ(store.Count(), 3);
    const QByteArray after = ReadBytes(path);
    ASSERT_EQ(after.size(), 3 * kSlot);
    EXPECT_EQ(after.mid(2 * kSlot + TProfileRecord::kStoredSize),
              QByteArray(kSlot - TProfileRecord::kStoredSize, '\0'));
    EXPECT_EQ(store.ProfileNames(), QStringList({QStringLiteral("one"), QStringLiteral("two")}));
}

// Whatever the slot held beyond the record is replaced by zeros, and the file holds each write at once.
TEST(ProfileManager, WriteFillsTheWholeSlotAndReachesTheFileAtOnce) {
    TTempDir dir;
    const QString path = dir.File("profiles.vlx");
    WriteBytes(path, QByteArray(kSlot, '\xFF'));
    TProfileManager store(path);
    store.WriteProfile(0, Named(QStringLiteral("x")));
    const QByteArray file = ReadBytes(path);
    EXPECT_EQ(file.left(TProfileRecord::kStoredSize), Named(QStringLiteral("x")).ToBytes());
    EXPECT_EQ(file.mid(TProfileRecord::kStoredSize), QByteArray(kSlot - TProfileRecord::kStoredSize, '\0'));

    TProfileManager other(path);
    store.AddProfile(Named(QStringLiteral("y")));
    EXPECT_EQ(other.FindProfile(QStringLiteral("Y")), 1);
}

// Indexes outside the file would read garbage or write a gap of stray slots: refused, file unchanged.
TEST(ProfileManager, OutOfRangeSlotIsRefused) {
    TTempDir dir;
    const QString path = dir.File("profiles.vlx");
    TProfileManager store(path);
    store.AddProfile(Named(QStringLiteral("default")));
    TProfileRecord record;
    EXPECT_THROW(store.ReadProfile(-1, record), EProfileException);
    EXPECT_THROW(store.WriteProfile(-1, record), EProfileException);
    EXPECT_THROW(store.WriteProfile(2, record), EProfileException);
    EXPECT_THROW(store.DeleteProfile(5), EProfileException);
    EXPECT_EQ(QFile(path).size(), kSlot);
    store.ReadProfile(7, record);
    EXPECT_EQ(record, TProfileRecord{});
}

// A pipe would block every read and a device never end: refused at once, and left as they are.
TEST(ProfileManager, FileThatIsNotARegularOneOrTooLargeIsRefused) {
    TTempDir dir;
    const QString pipe = dir.File("pipe.vlx");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link("/dev/zero", dir.File("zeros.vlx")));
    QFile large(dir.File("large.vlx"));
    ASSERT_TRUE(large.open(QIODevice::WriteOnly) && large.resize(TProfileManager::kMaxFileBytes + 1));
    large.close();
    for (const QString& path : {pipe, dir.File("zeros.vlx"), dir.File("large.vlx")}) {
        try {
            TProfileManager store(path);
            ADD_FAILURE() << "opened " << path.toStdString();
        } catch (const EProfileException& e) {
            EXPECT_TRUE(e.Message().contains(path)) << e.what();
            EXPECT_TRUE(e.Message().endsWith("it is left as it is")) << e.what();
        }
    }
    EXPECT_EQ(QFileInfo(dir.File("large.vlx")).size(), TProfileManager::kMaxFileBytes + 1);
}

TEST(ProfileManager, FileThatCannotBeOpenedOrCreatedIsReportedWithItsName) {
    TTempDir dir;
    for (const QString& path : {dir.File("missing/profiles.vlx"), dir.Path()}) {
        try {
            TProfileManager store(path);
            ADD_FAILURE() << "opened " << path.toStdString();
        } catch (const EProfileException& e) {
            EXPECT_TRUE(e.Message().contains(path)) << e.what();
        }
    }
}

// A later version's slot (version byte 3, a flag and bytes of its own after the texts) saved by this one
// keeps what this one does not know, and takes what it does.
TEST(ProfileManager, SavingASlotOfALaterVersionKeepsItsOwnSettings) {
    TTempDir dir;
    const QString path = dir.File("profiles.vlx");
    QByteArray later = Named(QStringLiteral("trip")).ToBytes();
    later[763] = 3;
    later[764] = char(0x80 | 0x01); // an unknown flag and LinkInOrder
    later.append(QByteArray("later settings"));
    later.append(kSlot - later.size(), '\x07');
    WriteBytes(path, later);

    TProfileManager store(path);
    TProfileRecord record;
    store.ReadProfile(0, record);
    EXPECT_TRUE(record.LinkInOrder);
    record.LinkInOrder = false;
    record.FitToWindow = true;
    record.Title = QStringLiteral("Changed");
    store.WriteProfile(0, record);

    const QByteArray saved = ReadBytes(path);
    ASSERT_EQ(saved.size(), kSlot);
    EXPECT_EQ(saved[763], 3);
    EXPECT_EQ(static_cast<unsigned char>(saved[764]), 0x80 | 0x02);
    EXPECT_EQ(saved.mid(TProfileRecord::kStoredSize), later.mid(TProfileRecord::kStoredSize));
    TProfileRecord again;
    store.ReadProfile(0, again);
    EXPECT_EQ(again, record);
    // Deleting frees the whole slot, later settings included.
    store.DeleteProfile(0);
    EXPECT_EQ(ReadBytes(path), QByteArray(kSlot, '\0'));
}

} // namespace
