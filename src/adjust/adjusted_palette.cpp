#include "adjust/adjusted_palette.h"

#include "imaging/colour_reduction.h"

namespace fotolyx {

int RebuildPalettesAfterAdjustment(Shell& shell, Memory& memory, const DibBlock& picture,
                                   const AdjustedPalettes& palettes) {
    palettes.screenPalette.reset();
    // Entries past the picture's colours keep what the image palette held.
    LogPalette built = palettes.imagePalette.value_or(LogPalette{});
    const int result = BuildPopularityPalette(shell, memory, picture, built);
    if (result == 1) {
        palettes.imagePalette = built;
    }
    if (!palettes.imagePalette) {
        return result;
    }
    palettes.screenPalette = palettes.imagePalette;
    if (palettes.windowPalette) {
        *palettes.windowPalette = palettes.imagePalette;
    }
    return result;
}

}  // namespace fotolyx
