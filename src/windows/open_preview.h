#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "imaging/dib_block.h"
#include "imaging/jpeg_codec.h"
#include "imaging/palette.h"
#include "windows/open_picture.h"

namespace fotolyx {

class Shell;
class Memory;

// The preview area of the Open dialog, in the client pixels of the dialog's extra part.
inline constexpr int PREVIEW_AREA_LEFT = 20;
inline constexpr int PREVIEW_AREA_TOP = 40;
inline constexpr int PREVIEW_AREA_SIZE = 120;
// A previewed file larger than this is not read ("Not enough memory.").
inline constexpr std::uint64_t PREVIEW_FILE_LIMIT = 512ULL << 20;

// Where a previewed picture of W x H pixels is drawn: fitted into the 120 x 120 area with
// integer arithmetic, centred along its shorter side.
struct PreviewFit {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool operator==(const PreviewFit&) const = default;
};
// None for a size that cannot be drawn (zero or negative sides).
std::optional<PreviewFit> FitPreview(std::int64_t width, std::int64_t height);

// The Open dialog's state that lives from one dialog to the next.
struct OpenDialogState {
    std::string LastPreviewPath;
    // The previewed bitmap from its info header on: block byte i is file byte 14 + i.
    std::optional<std::vector<std::uint8_t>> PreviewPicture;
    // Where the rows start in PreviewPicture; 0 when it is no picture that can be drawn.
    std::size_t previewPixelOffset = 0;
    std::int32_t previewWidth = 1;
    std::int32_t previewHeight = 1;
    // The file type chosen last (1 JPEG, 2 Bitmap): the next dialog starts with it.
    int filterIndex = OPEN_FILTER_JPEG;
};

// What the preview needs of the program.
struct OpenPreviewPorts {
    Shell& shell;
    Memory& memory;
    JpegState& jpeg;
    std::filesystem::path scratchFileA;  // receives the decoded bitmap of a JPEG file
    bool& previewEnabled;                // the Preview box, kept as FILEPREV
    bool trueColourDisplay;
    std::optional<LogPalette>& screenPalette;
    const std::optional<LogPalette>& displayPalette;
};

// What the preview area shows: the picture sampled to the fitted size (24 bits, bottom-up).
struct PreviewPaint {
    PreviewFit place;
    DibBlock picture;
};

// The Open dialog's extra part without its drawing: the Preview box, the size fields and the
// previewed picture. Methods are named after the notifications the dialog forwards; those that
// return bool say whether the preview area is to be repainted.
class OpenPreview {
  public:
    OpenPreview(OpenDialogState& state, OpenPreviewPorts ports);

    // The dialog opens; true when the Preview box starts checked.
    bool InitDialog();
    // The selected file changed (the path may be empty or name a folder).
    bool SelectionChanged(const std::string& path);
    // The Preview box was clicked; path is the current selection.
    bool PreviewClicked(bool checked, const std::string& path);

    const std::string& WidthText() const { return widthText_; }
    const std::string& HeightText() const { return heightText_; }

    // The picture to draw into the grey area; none when it stays empty. On an 8-bit display the
    // screen palette becomes the fixed DisplayPalette before a picture is drawn.
    std::optional<PreviewPaint> Paint();

  private:
    // Reads the file into PreviewPicture; false when it stopped early (the old preview stays,
    // unless a message said why it is gone).
    bool LoadPreview(const std::string& path);

    OpenDialogState& state_;
    OpenPreviewPorts ports_;
    std::string widthText_;
    std::string heightText_;
};

// Where the rows of a preview block start, after checking that the block is an uncompressed
// bottom-up 24-bit or 8-bit bitmap whose header and colour table lie inside it; 0 otherwise.
// fileHeaderOffset is the pixel-data offset of the file header.
std::size_t PreviewPixelOffset(const std::vector<std::uint8_t>& block,
                               std::uint32_t fileHeaderOffset);

// Samples a preview block (as checked by PreviewPixelOffset) to the fitted size, dropping rows
// and columns; bytes missing at the end of a short file read as black. None when the block is
// no picture or the fitted size is empty.
std::optional<DibBlock> SamplePreview(const std::vector<std::uint8_t>& block,
                                      std::size_t pixelOffset, const PreviewFit& place);

}  // namespace fotolyx
