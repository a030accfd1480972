// The number of fields of a settings struct, so that a test over every setting fails to build when one is
// added that it does not know.
#pragma once

#include <cstddef>

// Converts to any one field; never called, only asked whether the braces accept it.
struct TAnyField {
    template <typename T> operator T() const;
};

// An aggregate takes at most one initialiser per field: the longest list of them it accepts is its fields.
// A nested struct counts as one field (the initialiser converts to it whole, so no braces are elided).
template <typename T, typename... TFields> constexpr std::size_t FieldCount() {
    if constexpr (requires { T{TFields{}..., TAnyField{}}; })
        return FieldCount<T, TFields..., TAnyField>();
    else
        return sizeof...(TFields);
}
