// The range and default of one numeric setting, declared once: the panels take their spin ranges from it,
// the readers of stored settings bring a value into it, and the command line checks what it is given.
#pragma once

#include <algorithm>

struct TSettingRange {
    int Min;
    int Max;
    int Default;

    constexpr int Clamp(int value) const { return std::clamp(value, Min, Max); }
    constexpr bool Contains(int value) const { return value >= Min && value <= Max; }
};
