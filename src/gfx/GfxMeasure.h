// Picture sizes from file headers, the kind recognised by content, not by name: measuring a gallery does not
// decode every picture.
#pragma once

#include <optional>

#include <QIODevice>
#include <QSize>
#include <QString>

// Width and height as the picture loader would give them, read from the header only, by the kind the content
// shows. Nothing when no kind recognises the content or its header is doubtful: the loader then decides.
std::optional<QSize> MeasurePictureHeader(QIODevice& device);

// Measures a picture file: width, height and byte size. Content that the header measure does not answer
// for is loaded as a picture, so its error (an EGfxException) is the loader's. Returns "" when measured,
// otherwise why the file was not measured ("File: <name> not found" for a missing file), for the caller to
// raise in its own exception.
// loaded: the size the loader gave for this file just now; content the header measure does not answer for
// then takes it, and is not loaded a second time.
QString MeasurePictureFile(const QString& fileName, int& width, int& height, int& fileSize,
                           std::optional<QSize> loaded = std::nullopt);
