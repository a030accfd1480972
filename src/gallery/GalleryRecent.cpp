#include "gallery/GalleryRecent.h"

#include <algorithm>

#include <QDir>
#include <QJsonArray>

#include "common/VlxTypes.h"
#include "settings/VlxIniFile.h"
#include "settings/VlxJsonFile.h"

namespace {

const char* const kFoldersSection = "Folders";
const char* const kWindowSection = "Window";
const char* const kSettingsHeightKey = "SettingsHeight";
constexpr int kGalleriesFormat = 1;

} // namespace

TRecentPlaces::TRecentPlaces(QString foldersFile, QString galleriesFile)
    : FFoldersFile(std::move(foldersFile)), FGalleriesFile(std::move(galleriesFile)) {}

QString TRecentPlaces::Folder(const QString& kind) const {
    if (FFoldersFile.isEmpty())
        return {};
    try {
        return TIniFile(FFoldersFile).ReadString(kFoldersSection, kind, QString());
    } catch (const Exception&) {
        return {}; // a refused file remembers nothing; the dialogs start where they would
    }
}

void TRecentPlaces::RememberFolder(const QString& kind, const QString& dir) const {
    if (!FFoldersFile.isEmpty() && !dir.isEmpty())
        TIniFile(FFoldersFile).WriteString(kFoldersSection, kind, QDir::cleanPath(dir));
}

QStringList TRecentPlaces::Galleries() const {
    QStringList files;
    if (FGalleriesFile.isEmpty())
        return files;
    for (const QJsonValue& file :
         ReadJsonMember(FGalleriesFile, kGalleriesFormat, "galleries").value("files").toArray())
        if (file.isString() && !file.toString().isEmpty())
            files << file.toString();
    return files;
}

void TRecentPlaces::RememberGallery(const QString& fileName) const {
    if (FGalleriesFile.isEmpty())
        return;
    QStringList files = Galleries();
    files.removeAll(fileName);
    files.prepend(fileName);
    while (files.size() > kMaxGalleries)
        files.removeLast();
    WriteJsonMember(FGalleriesFile, kGalleriesFormat, "galleries",
                    {{"files", QJsonArray::fromStringList(files)}}, "list of recent galleries");
}

int TRecentPlaces::SettingsHeight() const {
    if (FFoldersFile.isEmpty())
        return 0;
    try {
        return std::max(0, TIniFile(FFoldersFile).ReadInteger(kWindowSection, kSettingsHeightKey, 0));
    } catch (const Exception&) {
        return 0; // the window opens as it would the first time
    }
}

void TRecentPlaces::RememberSettingsHeight(int height) const {
    if (!FFoldersFile.isEmpty() && height > 0)
        TIniFile(FFoldersFile).WriteInteger(kWindowSection, kSettingsHeightKey, height);
}
