#include "common/VlxPlainName.h"

#include <algorithm>

bool PlainFileName(const QString& name) {
    const auto notPlain = [](QChar c) { return c == '/' || c == '\\' || c == '\0' || c == '\r' || c == '\n'; };
    return !name.isEmpty() && name != "." && name != ".." && std::none_of(name.begin(), name.end(), notPlain);
}
