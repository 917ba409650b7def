#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "imaging/dib_block.h"
#include "imaging/save_pipeline.h"
#include "link/link_state.h"
#include "link/watchdog.h"
#include "live/live_decoding.h"
#include "ports/serial_line.h"
#include "ports/shell.h"
#include "ports/timers.h"

namespace fotolyx {

// The two owner-drawn buttons.
inline constexpr int LIVE_BUTTON_PHOTO = 1;
inline constexpr int LIVE_BUTTON_PREVIEW = 2;

inline constexpr int LIVE_WATCHDOG_FIRST_MS = 500;
inline constexpr int LIVE_WATCHDOG_RUNNING_MS = 1000;
inline constexpr int NOTICE_RELEASE_MS = 200;
inline constexpr int DEFERRED_PREVIEW_MS = 200;

inline constexpr char LIVE_IMAGE_TITLE[] = "Live image Window";
inline constexpr char LIVE_PHOTO_TITLE[] = "Live Image Photo";

// Where the window shows one of its pictures, and which part of the picture it shows there.
struct LivePicturePlacement {
    PictureArea source;
    PictureArea shown;
};
// The small picture at (15, 15), 160 x 120: whole, or (camera variant 1, whose frames are
// narrower) its left 120 columns stretched.
LivePicturePlacement LivePreviewPlacement(std::uint8_t modelVariant);
// The photo reduced to 320 x 240 at (5, 155): all 640 columns, or (variant 1) columns 4 to 507.
LivePicturePlacement LivePhotoPlacement(std::uint8_t modelVariant);

// What the Live image window reaches of the rest of the program.
struct LiveWindowPorts {
    LinkState& link;
    SerialLine& line;
    Timers& timers;
    Shell& shell;
    std::optional<DibBlock>& preview;    // LivePreviewImage
    std::optional<DibBlock>& photo;      // LivePhotoImage
    std::optional<DibBlock>& workImage;  // WorkImage
    // The index has been loaded (activation sets TransferMode 2 only then).
    std::function<bool()> indexLoaded;
    // The exit sequence has been confirmed (the window closes only then).
    std::function<bool()> exitConfirmed;
    // Creates an Openfile window from WorkImage; false when its memory cannot be had.
    std::function<bool(const std::string& title, bool modified)> createOpenfileWindow;
    // The Preview window becomes the active one (the watchdog's way out).
    std::function<void()> activatePreview;
    // Opens COM_DISCONNECT.
    std::function<void()> openDisconnectDialog;
    // Binds the save pipeline to the program's state for one save.
    std::function<SaveContext()> saveContext;
};

// The Live image window without its drawing: the preview and photo buttons, the frame requests
// made by painting, timers 1 to 4, taking the photo over into an Openfile window and saving it.
// Each method is a message the window handles; the view forwards them and paints from state().
class LiveImageWindow {
  public:
    LiveImageWindow(LiveState& live, LiveWindowPorts ports);

    // An owner-draw notification that carries a selection change of button id (a click gives
    // two: pressed, then released). The program sends its own presses the same way.
    void ButtonNotify(int id, bool selected);
    // The window is painted: while live view runs this asks for the next frame.
    void Paint();
    void Timer(int id);
    // 40003 Save As and 40014 Live photo Zoom In.
    void Command(int id);
    void LButtonDblClk(int x, int y);
    // A size change; maximising stops both activities.
    void Size(bool maximised);
    // Activation changes: becoming active, or being the one deactivated.
    void MdiActivate(bool becomingActive);
    // Close and end-of-session requests: true when the window may go.
    bool Close() const;
    // Stops live view and photo alike (maximising, deactivation).
    void StopBothActivities(bool eraseOnPhotoStop);

    const LiveState& state() const { return live_; }
    // The window is the active MDI child (as its activation changes told it).
    bool Active() const { return active_; }
    SaveAsResult lastSave;

  private:
    void PreviewButton(bool selected);
    void PhotoButton();
    void Write(std::uint8_t byte);
    void WriteCommand(std::uint8_t byte);
    void RequestFrame();
    void FillPhotoGrey();
    void SetPhotoMenus(bool enabled);
    void NoticeTimer();
    bool CopyPhotoToWorkImage(bool forSaving);
    void ZoomIn();
    void SaveAs();

    LiveState& live_;
    LiveWindowPorts ports_;
    Watchdog watchdog_;
    bool active_ = false;
};

}  // namespace fotolyx
