// Profile store: named sets of rendering and page settings, one per 2048-byte slot of the profiles file.
#pragma once

#include <cstdint>

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

#include "common/VlxTypes.h"

// The profiles file could not be opened, read or written, or a slot index is out of range.
class EProfileException : public Exception {
public:
    using Exception::Exception;
};

// A bevel as a profile stores it: its size, then its style and intensity in a byte each.
struct TProfileBevel {
    std::int32_t Size = 0;
    std::uint8_t Style = 0;
    std::uint8_t Intensity = 0;

    bool operator==(const TProfileBevel&) const = default;
};

// One profile as the file stores it: 759 bytes, packed, integers little-endian, each string a length byte
// followed by that many UTF-8 bytes in a field of fixed size. The enumerations are kept as their indexes.
// The page settings added later follow those 759 bytes, behind a mark that slots written before never
// hold (they are zeros there), so a reader of the 759 bytes alone still reads every profile:
//   759  4    "VLXP"      mark
//   763  1    uint8       version of what follows, 2 (1 before CaptionUnderThumb)
//   764  1    uint8       flags: bit 0 LinkInOrder, bit 1 FitToWindow, bit 2 CaptionUnderThumb, bits 3-4
//                         PublishMeta stored as 0 remove location, 1 keep all, 2 orientation only (so that 0
//                         is the default), bit 5 WebSize, bit 6 PublishOriginal
//   765  101  string      PrevText
//   866  101  string      NextText
//   967  4    int32       WebMaxSide (version 2)
//   971  4    int32       PageRows (version 2; rows on each table page, 0 for one page)
// Without the mark both settings read as off and the texts as their defaults; a slot of version 1 reads the
// web size as off, at 2048 pixels, and the table on one page. A later version keeps these
// places and adds after them, under a higher version byte; this one reads what it knows of such a slot, and
// a save keeps the version byte, the flags it does not know and every byte after PageRows as they were.
struct TProfileRecord {
    static constexpr int kSize = 759;
    static constexpr int kStoredSize = 975;
    static constexpr const char* kExtrasMark = "VLXP";
    static constexpr std::uint8_t kExtrasVersion = 2;
    // Largest number of UTF-8 bytes of each string field (the field is one byte longer).
    static constexpr int kNameSize = 50;
    static constexpr int kBkgFileSize = 200;
    static constexpr int kTextSize = 100; // Title, TableTitle, BackLink, BackLinkText

    QString Name;
    QString BkgFile;
    TColor BkgColor = 0;
    std::int32_t ThumbWidth = 0;
    std::int32_t ThumbHeight = 0;
    TProfileBevel ThumbBevel;
    std::int32_t MaskSize = 0;
    std::uint8_t MaskStyle = 0;
    std::int32_t ShadowSize = 0;
    std::int32_t ShadowDistance = 0;
    std::uint8_t ShadowIntensity = 0;
    std::int32_t PicWidth = 0;
    std::int32_t PicHeight = 0;
    TProfileBevel PicBevel;
    QString Title;
    TColor TextColor = 0;
    TColor LinkColor = 0;
    TColor VLinkColor = 0;
    TColor ALinkColor = 0;
    QString TableTitle;
    std::int32_t TableTitleFontSize = 0;
    TColor TableTitleColor = 0;
    std::uint8_t TableTitleAlign = 0;
    std::uint8_t TableAlign = 0;
    std::int32_t Rows = 0;
    std::int32_t Columns = 0;
    std::int32_t CellSpacing = 0;
    std::uint8_t PicInfo = 0; // bit 0 file name, bit 1 picture size, bit 2 file size
    std::int32_t PicInfoFontSize = 0;
    TColor PicInfoColor = 0;
    std::uint8_t PicInfoAlign = 0;
    std::int32_t LineWidth = 0;
    QString BackLink;
    QString BackLinkText;
    std::int32_t BackLinkFontSize = 0;
    std::uint8_t BackLinkAlign = 0;
    bool LinkInOrder = false;
    bool FitToWindow = false;
    bool CaptionUnderThumb = false;
    // The metadata rule of published pictures as the settings number it (TPublishMeta): 1, removing the
    // location, also for slots written before it was kept.
    std::uint8_t PublishMeta = 1;
    QString PrevText = QStringLiteral("Previous");
    QString NextText = QStringLiteral("Next");
    bool WebSize = false;
    std::int32_t WebMaxSide = 2048;
    bool PublishOriginal = false;
    std::int32_t PageRows = 0; // rows on each table page; 0: the whole table on one

    // Exactly kStoredSize bytes; strings longer than their field are cut at a character boundary.
    QByteArray ToBytes() const;
    // Reads the first kStoredSize bytes (missing bytes count as zero). A length byte larger than its field
    // is taken as the field's size, so a damaged file still reads.
    static TProfileRecord FromBytes(const QByteArray& bytes);

    bool operator==(const TProfileRecord&) const = default;
};

// Carries what a later version stored in a slot (see TProfileRecord) from stored into slot, which holds a
// record written by this version; does nothing when stored is not of a later version.
void KeepNewerSettings(const QByteArray& stored, QByteArray& slot);

// The text as a string field of maxBytes bytes keeps it: cut at a character boundary so that its UTF-8 fits.
// Callers filling a record use it, so the record in memory equals what a later read returns.
QString CutToField(const QString& text, int maxBytes);

enum class TProfileAccess { ReadWrite, ReadOnly };

// The profiles file, kept open for reading and writing for as long as the store lives. Every operation goes
// straight to the file (no copy in memory), so the file always holds the last write.
class TProfileManager {
public:
    static constexpr int kSlotSize = 2048;
    // 8,192 slots, far more profiles than anyone keeps; a larger file is refused and left as it is.
    static constexpr qint64 kMaxFileBytes = 16 << 20;

    // Opens the file, creating it empty when missing; raises EProfileException when it can do neither, or
    // when it is not a regular file or is above kMaxFileBytes (left as it is). While
    // the file is missing and an earlier version's is beside the program (ConfigFileToRead), that one is
    // read, and copied to fileName at the first write.
    // ReadOnly never creates, moves or writes the file: a missing file reads as an empty store.
    explicit TProfileManager(const QString& fileName, TProfileAccess access = TProfileAccess::ReadWrite);
    ~TProfileManager();
    TProfileManager(const TProfileManager&) = delete;
    TProfileManager& operator=(const TProfileManager&) = delete;

    QString FileName() const { return FFileName; }

    // Number of whole slots; a trailing partial slot is not counted.
    int Count() const;
    // A slot at or past the end reads as an all-zero record.
    void ReadProfile(int index, TProfileRecord& record);
    // Index Count appends a slot; the record (with its later page settings) is followed by zero bytes up to
    // the slot's size.
    void WriteProfile(int index, const TProfileRecord& record);
    // First slot whose name equals name ignoring letter case, -1 when none. The name is compared as the file
    // would store it (cut to the name field), and the empty name finds the first free slot.
    int FindProfile(const QString& name);
    // Writes into the first free slot, or appends; returns the slot's index. The caller checks the name is
    // new.
    int AddProfile(const TProfileRecord& record);
    // Frees the slot by writing zeros over all of it; the file never shrinks.
    void DeleteProfile(int index);
    // Names of the used slots in slot order.
    QStringList ProfileNames();

private:
    void Seek(int index);
    void WriteSlot(int index, const QByteArray& slot);
    [[noreturn]] void Fail(const QString& what) const;
    void OpenFile(const QString& path, bool writable);
    void MoveFromLegacy();

    QFile FStream;
    bool FReadingLegacy = false;
    bool FReadOnly = false;
    QString FFileName;
    QStringList FNames;
};
