#pragma once

#include <optional>

#include "imaging/palette.h"

namespace fotolyx {

// What the screen can show, as the start-up found it; the views draw with it.
struct DisplayState {
    bool RunningOnNt = true;
    bool TrueColourDisplay = true;
    // Only on an 8-bit screen: the fixed palette, and the copies the screen and the picture
    // windows draw with.
    std::optional<LogPalette> ScreenPalette;
    std::optional<LogPalette> ImagePalette;
    std::optional<LogPalette> DisplayPalette;
};

}  // namespace fotolyx
