#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

#include "imaging/palette.h"
#include "imaging/save_pipeline.h"
#include "link/link_state.h"
#include "ports/memory.h"
#include "ports/messages.h"
#include "ports/serial_line.h"
#include "ports/shell.h"
#include "ports/timers.h"

namespace fotolyx {

// The program state and ports the index transfer, the picture download, the Capture windows
// and the Preview window work with; the program binds them.
struct PicturePorts {
    LinkState& link;
    SerialLine& line;
    Timers& timers;
    Shell& shell;
    Memory& memory;
    const bool& trueColourDisplay;
    std::optional<LogPalette>& screenPalette;
    std::optional<LogPalette>& imagePalette;
    std::optional<LogPalette>& displayPalette;
    std::optional<std::vector<std::uint8_t>>& transferBuffer;
    std::optional<std::vector<std::uint8_t>>& thumbnailBuffer;
    const std::filesystem::path& scratchFileA;
    const std::filesystem::path& scratchFileB;
    std::function<SaveContext()> makeSaveContext;
    std::function<void()> openDisconnectDialog;
    // Reload: RESET_LINK and the re-set-up on the same port.
    std::function<void()> startResetup;
};

}  // namespace fotolyx
