// Choosing a picture decoder by file extension, and bringing any decoded picture to 24 bits (internal).
#pragma once

#include <memory>

#include <QImage>
#include <QString>

struct TJpegFile;

// An opened picture file: a JPEG as its bytes with the header read (its pixels are decoded on demand),
// any other kind decoded.
struct TPictureFile {
    QImage Picture;
    std::shared_ptr<const TJpegFile> Jpeg;
};

// As LoadPictureFile, but a JPEG's scan is left for later.
TPictureFile OpenPictureFile(const QString& fileName);

// Decodes a bmp, jpg, jpeg, ico, wmf or emf file (extension compared ignoring case) into a Format_BGR888
// picture. Throws EGfxException naming the file for a missing or empty file, an unknown extension, a
// picture above the size limit and anything the decoder refuses.
QImage LoadPictureFile(const QString& fileName);

// Any picture as Format_BGR888; transparent pixels are laid over white. Null stays null.
QImage ToBgr888(const QImage& picture);

// Throws EGfxException naming the file when w x h is above kMaxPicturePixels.
void CheckPictureSize(const QString& fileName, long long w, long long h);

// Metafiles (wmf, emf). Throws EGfxException naming the file.
QImage LoadMetafilePicture(const QString& fileName);
