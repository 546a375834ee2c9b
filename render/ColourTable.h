// The sixteen drawing colours.
#pragma once

#include <cstdint>
#include <optional>

// RGB as 0xRRGGBB. An index is taken modulo 16 with the sign of the index; a negative
// remainder selects no colour.
std::optional<uint32_t> ColourOf(int32_t index);
