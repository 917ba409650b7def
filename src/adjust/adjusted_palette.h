#pragma once

#include <optional>

#include "imaging/dib_block.h"
#include "imaging/palette.h"

namespace fotolyx {

class Memory;
class Shell;

// The palettes an 8-bit screen draws with, as they must be after an adjusted picture was
// written into picture memory.
struct AdjustedPalettes {
    std::optional<LogPalette>& screenPalette;
    std::optional<LogPalette>& imagePalette;
    std::optional<LogPalette>* windowPalette = nullptr;  // the picture window's own copy, if any
};

// Builds the 256-colour palette of the changed picture into the image palette, makes the screen
// palette anew from it and copies it into the window's palette. When the palette cannot be built
// (no working memory: the shell has said so) the previous image palette stays and the screen
// palette is made from it, so the screen never loses its palette. 1 when the new palette was
// built.
int RebuildPalettesAfterAdjustment(Shell& shell, Memory& memory, const DibBlock& picture,
                                   const AdjustedPalettes& palettes);

}  // namespace fotolyx
