// A gallery's settings as the "settings" object of a gallery file.
#pragma once

#include <QJsonObject>
#include <QString>

#include "gallery/GallerySettings.h"

// The settings in groups ("thumbnail", "picture", "background", "page", "table"); colours as "#RRGGBB",
// "default" for none of their own. The profile name is not among them. A background colour names no file.
QJsonObject SettingsToJson(const TGallerySettings& settings);

// Reads over the start-up settings: a key the object lacks keeps its start-up value, values out of range are
// brought into range. A key of the wrong kind sets problem (naming it) and the result is not to be used.
TGallerySettings SettingsFromJson(const QJsonObject& object, QString& problem);
