// Where the settings files live, and the way over from beside the program for files of earlier versions.
#include "settings/VlxConfigDir.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

QString WithSlash(const QString& dir) {
    return dir.endsWith(u'/') ? dir : dir + u'/';
}

// One configuration per process: the window (or the command) sets it at its start.
struct TLegacyPlaces {
    QString ConfigDir;
    QString LegacyDir;
    std::function<void(const QString&)> OnMoved;
    bool Told = false;
};

TLegacyPlaces& Legacy() {
    static TLegacyPlaces places;
    return places;
}

// The earlier version's file for configFile; empty when there is none to read.
QString LegacyFileFor(const QString& configFile) {
    const TLegacyPlaces& legacy = Legacy();
    if (legacy.LegacyDir.isEmpty())
        return {};
    const QFileInfo info(configFile);
    if (WithSlash(QDir::cleanPath(info.absolutePath())) != legacy.ConfigDir)
        return {};
    const QString old = legacy.LegacyDir + info.fileName();
    return QFileInfo(old).exists() ? old : QString();
}

} // namespace

QString ConfigDir(TConfigDirUse use) {
    const QString config = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    if (use == TConfigDirUse::Write)
        QDir().mkpath(config);
    return WithSlash(config);
}

void SetLegacyConfigDir(const QString& configDir, const QString& legacyDir,
                        std::function<void(const QString& note)> onMoved) {
    TLegacyPlaces& legacy = Legacy();
    legacy.ConfigDir = WithSlash(QDir::cleanPath(QFileInfo(configDir).absoluteFilePath()));
    legacy.LegacyDir =
        legacyDir.isEmpty() ? QString() : WithSlash(QDir::cleanPath(QFileInfo(legacyDir).absoluteFilePath()));
    if (legacy.LegacyDir == legacy.ConfigDir)
        legacy.LegacyDir.clear();
    legacy.OnMoved = std::move(onMoved);
    legacy.Told = false;
}

QString ConfigFileToRead(const QString& configFile) {
    if (QFileInfo(configFile).exists() || QFileInfo(configFile).isSymLink())
        return configFile;
    const QString old = LegacyFileFor(configFile);
    return old.isEmpty() ? configFile : old;
}

void ConfigFileMoved() {
    TLegacyPlaces& legacy = Legacy();
    if (legacy.Told)
        return;
    legacy.Told = true;
    if (legacy.OnMoved)
        legacy.OnMoved(
            QString("Settings are now kept in %1 (earlier versions kept them beside the program, in %2)")
                .arg(legacy.ConfigDir, legacy.LegacyDir));
}

QString UseConfigDir(const TVeltrixPlaces& places, std::function<void(const QString& note)> onMoved,
                     TConfigDirUse use) {
    const QString configDir = WithSlash(places.ConfigDir.isEmpty() ? ConfigDir(use) : places.ConfigDir);
    const QString legacyDir = !places.ProgramDir.isEmpty() || !places.ConfigDir.isEmpty()
                                  ? places.ProgramDir
                                  : QCoreApplication::applicationDirPath();
    SetLegacyConfigDir(configDir, legacyDir, std::move(onMoved));
    return configDir;
}
