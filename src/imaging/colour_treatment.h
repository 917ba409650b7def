#pragma once

#include <cstdint>

#include "imaging/dib_block.h"

namespace fotolyx {

class Memory;

// High nibble of a picture's attribute byte from which the treatment, and the smoothing
// inside it, run.
inline constexpr std::uint8_t TREATMENT_FROM_LEVEL = 1;
inline constexpr std::uint8_t SMOOTHING_FROM_LEVEL = 5;
// Pictures narrower or lower than this have no edge level and are not smoothed.
inline constexpr std::int32_t SMOOTHING_MIN_SIZE = 5;

enum class ColourTreatmentResult {
    NotAsked,         // the attribute asks for nothing; pixels unchanged
    Treated,          // the colour treatment ran
    TreatedSmoothed,  // the colour treatment ran with the luminance smoothing inside it
    NotEnoughMemory,  // no work block; pixels unchanged
    NotAPicture,      // not a sound 24-bit picture; pixels unchanged
};

// Raises the luminance of a downloaded picture by 30 % and its colour difference by 20 %,
// smoothing flat areas of the luminance first when the attribute asks for it. Integer
// arithmetic, one work block of six bytes per pixel from memory.
ColourTreatmentResult ApplyColourTreatment(DibBlock& picture, std::uint8_t attribute,
                                           Memory& memory);

}  // namespace fotolyx
