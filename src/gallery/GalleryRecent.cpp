#include "gallery/GalleryRecent.h"

#include <QDir>
#include <QJsonArray>

#include "common/VlxTypes.h"
#include "settings/VlxIniFile.h"
#include "settings/VlxJsonFile.h"

namespace {

const char* const kFoldersSection = "Folders";
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
