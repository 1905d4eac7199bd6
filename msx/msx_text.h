// Bounded copies into the host's fixed 100-byte text fields.
#pragma once

#include <cstddef>
#include <cstring>

#include "msx/msx_records.h"

namespace msx {

// Copies at most 99 characters of `text` into `field` and ends it with a NUL,
// so the field never overflows and is always terminated. A null text becomes
// the empty text.
inline void copy_text(char (&field)[kTextField], const char* text) noexcept {
    std::size_t n = 0;
    if (text != nullptr) {
        while (n < kTextField - 1 && text[n] != '\0') {
            field[n] = text[n];
            ++n;
        }
    }
    field[n] = '\0';
}

// Copies a constant that is known to fit, with its NUL, leaving the rest of
// the field as the host passed it.
template <std::size_t N>
inline void copy_constant(char (&field)[kTextField], const char (&text)[N]) noexcept {
    static_assert(N <= kTextField, "constant does not fit the host's text field");
    std::memcpy(field, text, N);
}

}  // namespace msx
