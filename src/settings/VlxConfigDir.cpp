// Where the options file and the profiles file live: beside the program, or in the user's configuration.
#include "settings/VlxConfigDir.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

QString WithSlash(const QString& dir) {
    return dir.endsWith(u'/') ? dir : dir + u'/';
}

} // namespace

QString ConfigDir() {
    return ConfigDir(QCoreApplication::applicationDirPath());
}

QString ConfigDir(const QString& programDir) {
    const QFileInfo program(programDir);
    if (!programDir.isEmpty() && program.isDir() && program.isWritable())
        return WithSlash(program.absoluteFilePath());
    const QString config = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    // Without a home there is no user configuration; the program's directory then gives the clearer error.
    if (config.isEmpty())
        return WithSlash(programDir);
    QDir().mkpath(config);
    return WithSlash(config);
}
