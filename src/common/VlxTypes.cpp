// Types shared by every unit.
#include "common/VlxTypes.h"

Exception::Exception(const QString& message) : std::runtime_error(message.toStdString()) {}
