#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "adjust/adjust_algorithms.h"
#include "imaging/dib_block.h"

namespace fotolyx {

class Memory;

inline constexpr int IDC_ADJUST_MANUAL = 1007;
inline constexpr int IDC_ADJUST_AUTOMATIC = 1008;
inline constexpr int IDC_ADJUST_REVERT = 1035;
inline constexpr int IDC_ADJUST_FIRST_VALUE = 1100;   // 1100 + i shows setting i
inline constexpr int IDC_ADJUST_FIRST_SCROLL = 1104;  // 1104 + i changes setting i
inline constexpr int ADJUST_SETTING_COUNT = 4;

// Scroll codes as the dialog receives them.
inline constexpr int SB_LINELEFT = 0;
inline constexpr int SB_LINERIGHT = 1;
inline constexpr int SB_PAGELEFT = 2;
inline constexpr int SB_PAGERIGHT = 3;
inline constexpr int SB_THUMBPOSITION = 5;

// Before preview: one 160 x 120 picture and a little spare.
inline constexpr std::size_t BEFORE_PREVIEW_BLOCK = 57'700;

struct AdjustScrollBar {
    std::int32_t minimum = 0;
    std::int32_t maximum = 0;
    std::int32_t position = 0;
    bool enabled = true;
};

enum class AdjustDialogEnd {
    Open,     // the dialog stays up
    Closed,   // OK or Cancel without a change to the picture
    Applied,  // OK wrote the adjusted picture over the picture memory
};

// The Image Adjustment dialog without its drawing: the settings, the pending and fresh flags,
// the scroll bars, value fields and buttons, the previews and the six work blocks. The view
// forwards its events here and draws from the public state. When Command returns Applied the
// picture window marks its picture modified, rebuilds its palette on an 8-bit screen and
// repaints.
class AdjustDialog {
  public:
    explicit AdjustDialog(Memory& memory);

    // Opening, with the active child's picture (none when no picture window is active).
    void Open(DibBlock* picture);
    // A scroll message from the bar with the given control id.
    void HScroll(int controlId, int code, int thumbPosition);
    // Manual, Automatic, Revert, OK (IDOK) or Cancel (IDCANCEL).
    AdjustDialogEnd Command(int id);

    // The previews to draw; none when the dialog has no picture.
    const DibBlock* BeforePreview() const;
    const DibBlock* AfterPreview() const;
    bool HasPicture() const { return blocks_.has_value(); }

    AdjustEngine engine;
    bool pending = false;
    bool fresh = true;
    bool manualChecked = true;
    bool revertEnabled = false;
    std::array<AdjustScrollBar, ADJUST_SETTING_COUNT> scrollBars{};
    // The signed numbers the four value fields show.
    std::array<std::int32_t, ADJUST_SETTING_COUNT> valueFields{};
    // Set when the view should repaint the previews.
    bool invalidated = false;

  private:
    struct Blocks {
        DibBlock before;
        DibBlock output;  // the After preview, and the whole picture on OK
        AdjustPlanes planes;
    };

    void ResetSettingsAndBars();
    void ShowSettings(bool movePositions);
    void Release();

    Memory& memory_;
    DibBlock* picture_ = nullptr;
    std::optional<Blocks> blocks_;
};

}  // namespace fotolyx
