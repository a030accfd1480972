// The order pictures are added and sorted in: by file name, or by the date they were taken.
#pragma once

#include <vector>

#include <QDateTime>
#include <QString>
#include <QStringList>

enum class TPictureOrder { Name, DateTaken };

// When the picture was taken: a JPEG's EXIF DateTimeOriginal (read as local time, as cameras write it),
// else the file's modification time. Invalid when neither can be read.
QDateTime PictureDateTaken(const QString& path);

// The indexes of paths in the order asked for. By name: the file names compared as people read them
// (letter case ignored, "img2" before "img10"), then the whole paths. By date taken: the earliest first,
// pictures of one moment by name. Stable for equal keys.
std::vector<int> PictureOrder(const QStringList& paths, TPictureOrder order);

// The picture files of a folder (the extensions the picture holder loads; not its subfolders, not hidden
// files) in the order asked for. Raises EGalleryException naming the folder when it cannot be read.
QStringList FolderPictures(const QString& dir, TPictureOrder order);
