#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "imaging/dib_block.h"
#include "imaging/jpeg_codec.h"
#include "imaging/thumbnail_size.h"
#include "ports/local_clock.h"
#include "ports/messages.h"

namespace fotolyx {

class Shell;
class FreeSpace;
class Memory;

// The picture windows that save; they differ in sampling, space checks and captions.
enum class SaveWindowKind { Capture, Openfile, Liveimage };

inline constexpr int SAVE_FILTER_JPEG = 1;
inline constexpr int SAVE_FILTER_FULL_COLOUR_BMP = 2;
inline constexpr int SAVE_FILTER_256_COLOUR_BMP = 3;
inline constexpr unsigned SAVE_DIALOG_FLAGS =
    0x1006;  // overwrite prompt, hide read-only, must exist
inline constexpr int SAVE_AS_QUALITY = 75;
inline constexpr int THUMBNAIL_QUALITY = 10;
inline constexpr char SAMPLING_2X1[] = "2x1,1x1,1x1";
inline constexpr char SAMPLING_4X1[] = "4x1,1x1,1x1";

// The save pipeline's share of a program run.
struct SaveState {
    // The quality the Exif save re-encodes with; Save As sets 75, a send to the camera its own.
    int SaveQuality = SAVE_AS_QUALITY;
    // The file type chosen last in the save dialog, offered again next time.
    int filterIndex = SAVE_FILTER_JPEG;
};

// Everything the save pipeline works with. The caller binds it to its program's state.
struct SaveContext {
    Shell& shell;
    LocalClock& clock;
    FreeSpace& freeSpace;
    Memory& memory;
    JpegState& jpeg;
    SaveState& save;
    std::filesystem::path scratchFileA;   // the bitmap
    std::filesystem::path scratchFileB;   // the JPEG stream
    std::filesystem::path tempDirectory;  // where the "QZV" temporary files go
    std::string& initialDirectory;        // the file dialogs' folder, remembered between them
};

struct SaveAsResult {
    bool written = false;  // the chosen file now holds the picture
    std::string path;
    int filterIndex = 0;
    int exifResult = 0;  // the Exif save's result after a JPEG save with Exif (1, 0, -1)
    std::optional<std::string> windowTitle;  // the title the window takes, when it takes one
};

// The Save As command of a picture window: asks for name and type, checks the free space and
// writes a JPEG (with the Exif block and thumbnail for Capture and Openfile), a 24-bit BMP or
// a 256-colour BMP. The picture is a 24-bit block with a 40-byte header and no colour table.
SaveAsResult SaveAsFlow(SaveContext& context, SaveWindowKind kind, const DibBlock& picture,
                        std::string_view proposedName);

// "%02d-%d-%d(%d-%d)": two-digit year, month, day, hour and minute.
std::string ProposeTimeName(const LocalTime& time);

}  // namespace fotolyx
