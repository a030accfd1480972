// Profile store: slot-level access to the profiles file, lookup by name, adding, deleting and listing.
#include "settings/VlxProfileU.h"

#include <algorithm>
#include <limits>

#include <fcntl.h>
#include <unistd.h>

#include <QFileInfo>

#include "common/VlxRegularFile.h"
#include "common/VlxSaveFile.h"
#include "settings/VlxConfigDir.h"

TProfileManager::TProfileManager(const QString& fileName, TProfileAccess access)
    : FReadOnly(access == TProfileAccess::ReadOnly), FFileName(fileName) {
    // An earlier version's file beside the program is read, and copied over at the first write.
    const QString source = ConfigFileToRead(fileName);
    if (FReadOnly) {
        // A missing file is an empty store; reading never makes one.
        if (QFileInfo::exists(source))
            OpenFile(source, false);
        return;
    }
    if (source != fileName) {
        try {
            OpenFile(source, false);
            FReadingLegacy = true;
            return;
        } catch (const EProfileException&) {
            // One that cannot be read stays where it is; this version starts its own.
        }
    }
    OpenFile(fileName, true);
}

// Unbuffered: every read and write goes to the file itself, so nothing stale is served from a buffer. A pipe
// would block the reads and a device never end, and a huge file would make every lookup scan it: all three
// are refused without waiting on them and left as they are.
void TProfileManager::OpenFile(const QString& path, bool writable) {
    const TOpenedFile opened = OpenRegularFile(path, writable ? O_RDWR | O_CREAT : O_RDONLY, kMaxFileBytes);
    QString problem =
        opened.OpenErrno != 0 || opened.Fd >= 0 ? opened.Problem : opened.Problem + "; it is left as it is";
    FStream.close();
    if (problem.isEmpty() &&
        !FStream.open(opened.Fd,
                      (writable ? QIODevice::ReadWrite : QIODevice::ReadOnly) | QIODevice::Unbuffered,
                      QFileDevice::AutoCloseHandle)) {
        problem = FStream.errorString();
        ::close(opened.Fd);
    }
    if (!problem.isEmpty())
        throw EProfileException(QStringLiteral("Cannot open file \"%1\": %2").arg(path, problem));
}

// The earlier version's file becomes this one's, whole, before its first change; that one stays as it was.
void TProfileManager::MoveFromLegacy() {
    if (!FStream.seek(0))
        Fail(QStringLiteral("Unable to seek in"));
    const QByteArray bytes = FStream.readAll();
    if (FStream.error() != QFileDevice::NoError)
        Fail(QStringLiteral("Unable to read from"));
    QString error;
    if (!WriteFileAtomically(FFileName, bytes, error))
        throw EProfileException(QStringLiteral("Cannot write file \"%1\": %2").arg(FFileName, error));
    OpenFile(FFileName, true);
    FReadingLegacy = false;
    ConfigFileMoved();
}

TProfileManager::~TProfileManager() = default;

int TProfileManager::Count() const {
    const qint64 whole = FStream.size() / kSlotSize;
    return static_cast<int>(std::min<qint64>(whole, std::numeric_limits<int>::max()));
}

void TProfileManager::ReadProfile(int index, TProfileRecord& record) {
    if (index < 0)
        throw EProfileException(
            QStringLiteral("Profile slot %1 out of range in \"%2\"").arg(index).arg(FFileName));
    // Cleared first: a slot cut short by another writer reads as zeros beyond its end.
    QByteArray slot(kSlotSize, '\0');
    if (index < Count()) {
        Seek(index);
        if (FStream.read(slot.data(), kSlotSize) < 0)
            Fail(QStringLiteral("Unable to read from"));
    }
    record = TProfileRecord::FromBytes(slot);
}

void TProfileManager::WriteProfile(int index, const TProfileRecord& record) {
    QByteArray slot = record.ToBytes();
    slot.append(kSlotSize - slot.size(), '\0');
    // A later version's settings in this slot, which this one cannot show, survive a save of the profile.
    if (index >= 0 && index < Count()) {
        QByteArray stored(kSlotSize, '\0');
        Seek(index);
        if (FStream.read(stored.data(), kSlotSize) < 0)
            Fail(QStringLiteral("Unable to read from"));
        KeepNewerSettings(stored, slot);
    }
    WriteSlot(index, slot);
}

void TProfileManager::WriteSlot(int index, const QByteArray& slot) {
    // Past Count a write would leave a gap of slots made of whatever bytes the file held there.
    if (index < 0 || index > Count())
        throw EProfileException(
            QStringLiteral("Profile slot %1 out of range in \"%2\"").arg(index).arg(FFileName));
    if (FReadOnly)
        throw EProfileException(QStringLiteral("The profiles file \"%1\" is open for reading only").arg(FFileName));
    if (FReadingLegacy)
        MoveFromLegacy();
    Seek(index);
    if (FStream.write(slot) != slot.size())
        Fail(QStringLiteral("Unable to write to"));
}

int TProfileManager::FindProfile(const QString& name) {
    const QString wanted = CutToField(name, TProfileRecord::kNameSize).toLower();
    const int count = Count();
    TProfileRecord record;
    for (int index = 0; index < count; ++index) {
        ReadProfile(index, record);
        if (record.Name.toLower() == wanted)
            return index;
    }
    return -1;
}

int TProfileManager::AddProfile(const TProfileRecord& record) {
    int index = FindProfile(QString());
    if (index < 0)
        index = Count();
    WriteProfile(index, record);
    return index;
}

void TProfileManager::DeleteProfile(int index) {
    WriteSlot(index, QByteArray(kSlotSize, '\0'));
}

QStringList TProfileManager::ProfileNames() {
    FNames.clear();
    const int count = Count();
    TProfileRecord record;
    for (int index = 0; index < count; ++index) {
        ReadProfile(index, record);
        if (!record.Name.isEmpty())
            FNames.append(record.Name);
    }
    return FNames;
}

void TProfileManager::Seek(int index) {
    if (!FStream.seek(static_cast<qint64>(index) * kSlotSize))
        Fail(QStringLiteral("Unable to seek in"));
}

void TProfileManager::Fail(const QString& what) const {
    throw EProfileException(QStringLiteral("%1 \"%2\": %3").arg(what, FFileName, FStream.errorString()));
}
