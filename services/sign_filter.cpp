#include "services/sign_filter.h"

#include <array>

namespace barsight {

namespace {

constexpr int32_t kPassSet[] = {
    // -199 .. -100
    -199, -198, -194, -193, -192, -159, -148, -146, -145, -143, -142, -134, -130, -129, -128,
    -127, -126, -123, -122, -121, -119, -115, -108, -107, -106, -104, -103, -102, -101, -100,
    // -99 .. -1
    -97, -96, -94, -92, -90, -89, -86, -84, -78, -76, -71, -68, -67, -63, -59, -58, -57, -55,
    -54, -53, -52, -51, -50, -49, -48, -40, -38, -37, -36, -34, -33, -32, -30, -29, -28, -27,
    -26, -25, -24, -23, -22, -21, -15, -14, -11, -10, -9, -8, -7, -6, -5, -2, -1,
    // 1 .. 99
    1, 3, 4, 6, 7, 8, 9, 11, 12, 13, 16, 19, 21, 22, 23, 28, 29, 30, 32, 33, 34, 36, 43, 44,
    45, 49, 51, 52, 53, 54, 56, 57, 63, 70, 74, 76, 77, 78, 79, 81, 82, 83, 84, 85, 86, 87, 89,
    91, 94, 96, 97, 99,
    // 100 .. 199
    101, 102, 106, 107, 112, 113, 115, 116, 119, 122, 123, 124, 127, 129, 131, 132, 133, 134,
    135, 137, 143, 144, 146, 147, 198, 199};

static_assert(sizeof(kPassSet) / sizeof(kPassSet[0]) == 161);

constexpr int32_t kLowest = -199;
constexpr int32_t kHighest = 199;

// Membership by direct lookup: one flag per code in -199..199.
constexpr std::array<bool, kHighest - kLowest + 1> make_flags() {
    std::array<bool, kHighest - kLowest + 1> flags{};
    for (int32_t code : kPassSet) flags[static_cast<std::size_t>(code - kLowest)] = true;
    return flags;
}

constexpr auto kFlags = make_flags();

}  // namespace

bool in_pass_set(int32_t sign) noexcept {
    return sign >= kLowest && sign <= kHighest && kFlags[static_cast<std::size_t>(sign - kLowest)];
}

int32_t sign_filter(int32_t sign) noexcept { return in_pass_set(sign) ? sign : 0; }

int32_t volume_color(double vol0, double vol1, double vol2, double close0,
                     double close1) noexcept {
    if (vol0 < vol1 && vol0 < vol2) return 1;
    if (close0 < close1) return 2;
    if (close0 > close1) return 3;
    return 4;
}

}  // namespace barsight
