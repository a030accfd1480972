// What the program remembers between runs for its dialogs and its File menu: the last folder of each kind
// ("Pictures", "Galleries", "Output") and the gallery files opened or saved last, newest first.
#pragma once

#include <QString>
#include <QStringList>

class TRecentPlaces {
public:
    // The folders are kept in foldersFile (an INI file), the galleries in galleriesFile (JSON); without
    // them (empty names) nothing is remembered.
    TRecentPlaces() = default;
    TRecentPlaces(QString foldersFile, QString galleriesFile);

    static constexpr int kMaxGalleries = 8;

    // The last folder of the kind; empty when none was kept or the file is refused.
    QString Folder(const QString& kind) const;
    // Raises when the file cannot be written.
    void RememberFolder(const QString& kind, const QString& dir) const;
    QStringList Galleries() const;
    // fileName first, once, and at most kMaxGalleries in all. Raises when the file cannot be written.
    void RememberGallery(const QString& fileName) const;
    // The height the user left the window's settings pages at (kept in the folders file); 0: none kept.
    int SettingsHeight() const;
    void RememberSettingsHeight(int height) const;

private:
    QString FFoldersFile;
    QString FGalleriesFile;
};
