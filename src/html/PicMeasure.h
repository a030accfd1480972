// Picture sizes from file headers (JPEG, BMP, ICO), the format recognised by content, not by name.
#pragma once

#include <optional>

#include <QIODevice>
#include <QSize>
#include <QString>

// Width and height as the picture loader would give them, read from the header only. Nothing when the
// content is no JPEG, BMP or ICO, or when anything in the header is doubtful: the loader then decides.
std::optional<QSize> MeasurePictureHeader(QIODevice& device);

// Measures a picture file: width, height and byte size. False when the file does not exist. Content that
// the header measure does not answer for is loaded as a picture, so its error is the loader's.
bool MeasurePictureFile(const QString& fileName, int& width, int& height, int& fileSize);
