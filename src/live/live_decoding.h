#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "imaging/dib_block.h"
#include "link/link_state.h"
#include "live/live_pixels.h"
#include "ports/messages.h"
#include "ports/serial_line.h"
#include "ports/shell.h"
#include "ports/timers.h"

namespace fotolyx {

// Button bitmaps of the Live image window.
inline constexpr std::uint32_t BITMAP_CANCEL = 105;
inline constexpr std::uint32_t BITMAP_CANCEL_PRESSED = 106;
inline constexpr std::uint32_t BITMAP_PREVIEW_OFF = 107;
inline constexpr std::uint32_t BITMAP_PREVIEW_ON = 108;
inline constexpr std::uint32_t BITMAP_CAPTURE = 109;
inline constexpr std::uint32_t BITMAP_CAPTURE_PRESSED = 110;

// Timers of the Live image window.
inline constexpr int LIVE_TIMER_WATCHDOG = 1;
inline constexpr int LIVE_TIMER_NOTICE = 2;
inline constexpr int LIVE_TIMER_RESTART = 3;
inline constexpr int LIVE_TIMER_DEFERRED_PREVIEW = 4;
inline constexpr int NOTICE_DELAY_MS = 100;
inline constexpr int LIVE_RESTART_DELAY_MS = 200;

// Where the pictures are shown in the Live image window.
inline constexpr Rect LIVE_PREVIEW_RECT{15, 15, 175, 135};
inline constexpr Rect LIVE_PHOTO_RECT{5, 155, 325, 395};
inline constexpr Rect LIVE_PHOTO_BUTTON_RECT{200, 85, 300, 115};
inline constexpr Rect LIVE_PREVIEW_BUTTON_RECT{200, 35, 300, 65};
inline constexpr Rect LIVE_PHOTO_AREA_RECT{4, 150, 644, 630};

inline constexpr std::uint16_t PHOTO_INVALIDATE_PACKETS = 36;  // every 4 lines

// The live view and photo state shared by the Live image window and the two packet handlers.
// The rows a packet goes to follow from LivePacketNumber alone, so no separate line offsets
// are kept.
struct LiveState {
    std::uint8_t LiveViewRunning = 0;
    std::uint8_t LivePhotoRunning = 0;
    std::uint8_t LiveFramePending = 0;
    // A frame has been asked for and is neither complete nor given up. Paints come from many
    // causes (activation, overlapping windows, hover), so only this decides whether a paint may
    // ask for the next frame: a second LIVE_START would restart the frame under way and leave
    // the receiver framing the packets part-way through one.
    std::uint8_t LiveFrameInFlight = 0;
    // LIVE_START was sent again since the watchdog's last tick, which then counts as traffic
    // once: a frame request the camera never answers must not keep the watchdog quiet.
    bool FrameAskedSinceTick = false;
    std::uint8_t NoticeStep = 0;
    std::uint32_t PreviewButtonBitmap = BITMAP_PREVIEW_OFF;
    std::uint32_t PhotoButtonBitmap = BITMAP_CAPTURE;
    // Live photo Zoom In and Save As are enabled (a photo is complete).
    bool PhotoMenusEnabled = false;

    std::uint16_t LivePacketNumber = 0;
    LiveLine PreviousLine{};
    LiveChromaStores chroma;
    PhotoLine photoLine{};

    // Frames and photos completed (for hosts that wait for them).
    std::uint32_t framesCompleted = 0;
    std::uint32_t photosCompleted = 0;
};

// What the two handlers reach of the program.
struct LiveHandlerPorts {
    LinkState& link;
    SerialLine& line;
    Timers& timers;
    Shell& shell;
    std::optional<DibBlock>& preview;  // LivePreviewImage
    std::optional<DibBlock>& photo;    // LivePhotoImage
    // The active MDI child, which is the Live image window whenever an activity runs.
    std::function<WindowId()> activeChild;
};

// The packet handlers of TransferMode 2 (live view) and 3 (large photo).
class LiveHandlers {
  public:
    LiveHandlers(LiveState& live, LiveHandlerPorts ports) : live_(live), ports_(std::move(ports)) {}

    void LiveViewPacket();
    void LivePhotoPacket();

  private:
    void Write(std::uint8_t byte);
    void Resynchronise();
    bool IsCameraNotice(PacketKind kind) const;
    void CameraNotice();

    LiveState& live_;
    LiveHandlerPorts ports_;
};

}  // namespace fotolyx
