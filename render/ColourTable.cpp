// The sixteen drawing colours.
#include "render/ColourTable.h"

namespace {
constexpr uint32_t kColours[16] = {
    0x000000, 0x0000FF, 0xFF0000, 0xFF00FF, 0x00FF00, 0x00FFFF, 0xFFFF00, 0xFFFFFF,
    0x777777, 0x0000AA, 0xAA0000, 0xAA00AA, 0x00AA00, 0x00AAAA, 0xAAAA00, 0xAAAAAA,
};
}

std::optional<uint32_t> ColourOf(int32_t index) {
    int32_t i = index % 16;  // C++ keeps the sign of the dividend
    if (i < 0) return std::nullopt;
    return kColours[i];
}
