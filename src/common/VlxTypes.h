// Types shared by every unit: the colour value and the root of all exceptions.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include <QString>

// A colour as 0x00BBGGRR.
using TColor = std::int32_t;

// No colour of its own: a page colour holding it writes no colour attribute.
inline constexpr TColor clNone = 0x1FFFFFFF;

// Every unit's exception derives from this, so the application's error display shows any of them.
class Exception : public std::runtime_error {
public:
    explicit Exception(const QString& message);
    explicit Exception(const std::string& message) : std::runtime_error(message) {}

    QString Message() const { return QString::fromUtf8(what()); }
};
