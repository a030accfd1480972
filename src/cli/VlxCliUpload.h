// `veltrix upload`: stores a generated folder on the FTP server of the options file, without a window.
#pragma once

#include <QString>

#include "cli/VlxCliStreams.h"
#include "settings/VlxConfigDir.h"

// Stores every file of the folder outDir with the options file's FTP settings; progress and errors on the
// error stream, the target's address on the output stream. Returns the exit status. Needs the application
// object (a non-widget one is enough). Connections other than 0 replace the options file's.
int UploadFolder(const QString& outDir, const TVeltrixPlaces& places, const TCliStreams& streams,
                 int connections = 0);
