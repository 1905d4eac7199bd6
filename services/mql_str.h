// The trading client's string record: a character count and a pointer to
// NUL-terminated 8-bit text owned by the library. Byte-packed: the library
// writes it at any address.
#pragma once

#include <cstdint>

#pragma pack(push, 1)
struct MqlStr {
    int32_t length;
    char* text;
};
#pragma pack(pop)

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(MqlStr) == 8, "MqlStr is 8 bytes in the 32-bit client");
#endif
