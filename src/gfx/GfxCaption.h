// A picture's own caption: the title or description its metadata carries.
#pragma once

#include <QString>

// The longest caption kept, in characters: a description can run to pages, a caption under a picture not.
inline constexpr int kMaxCaptionLength = 1000;

// Text as a caption holds it: one line, control characters and runs of white space made one space, the ends
// trimmed, cut to kMaxCaptionLength.
QString CaptionText(const QString& text);

// The caption of a picture file: its title (XMP dc:title, PNG Title), else its description (XMP
// dc:description, EXIF ImageDescription, PNG Description), made one line by CaptionText. Empty when it has
// none, only what a camera writes by itself ("OLYMPUS DIGITAL CAMERA"), or metadata that cannot be read: a
// caption is never a reason to refuse a picture. Safe on any thread.
QString PictureCaption(const QString& path);
