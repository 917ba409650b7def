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
#include "ports/serial_line.h"
#include "ports/shell.h"
#include "ports/timers.h"

namespace fotolyx {

// The TransferMode whose handler is the picture index's (deletions included).
inline constexpr std::uint8_t TRANSFER_INDEX = 0;
inline constexpr char TEXT_RECEIVE_PREVIEW[] = "Receive Preview data";
inline constexpr char TEXT_RECEIVE_IMAGE[] = "Receive Image data";
inline constexpr char TEXT_NO_IMAGES[] = "No images in the Vistacam memory.";
inline constexpr char CAPTION_VISTACAM_INFO[] = "Vistacam Info";
inline constexpr char TEXT_FILE_TYPE_WRONG[] = "This file type is wrong.";
inline constexpr char TEXT_FILE_SIZE_WRONG[] = "This file size is wrong. ";
inline constexpr char CAPTION_ERROR[] = "ERROR";
inline constexpr char TEXT_DELETE_PAGE[] = "Delete selected page?";
inline constexpr char CAPTION_DELETE_PAGE[] = "DELETE PAGE";
inline constexpr char TEXT_DELETE_ALL[] = "Delete all pages?";
inline constexpr char CAPTION_DELETE_ALL[] = "DELETE ALL";
inline constexpr char TEXT_RELOAD[] = "To load the picture from the Vistacam to your PC again?";
inline constexpr char CAPTION_RELOAD[] = "RELOAD";

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
