#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ports/timers.h"

namespace fotolyx {

// Message box styles and answers keep the values of the platform they were designed on, so
// the core can say exactly which buttons and icon a box has.
inline constexpr unsigned MB_OK = 0x0000;
inline constexpr unsigned MB_OKCANCEL = 0x0001;
inline constexpr unsigned MB_YESNOCANCEL = 0x0003;
inline constexpr unsigned MB_YESNO = 0x0004;
inline constexpr unsigned MB_ICONHAND = 0x0010;
inline constexpr unsigned MB_ICONQUESTION = 0x0020;
inline constexpr unsigned MB_ICONEXCLAMATION = 0x0030;
inline constexpr unsigned MB_ICONINFORMATION = 0x0040;
inline constexpr unsigned MB_TASKMODAL = 0x2000;

inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

// What a save-file dialog is asked to show: a proposed name, the folder it opens in, the file
// types offered (description and pattern; the index of the first is 1) and the one chosen
// last time, the extension added to a name typed without one, and the dialog flags.
struct SaveDialogRequest {
    std::string proposedName;
    std::string initialDirectory;
    std::vector<std::pair<std::string, std::string>> filters;
    int filterIndex = 1;
    std::string defaultExtension;
    unsigned flags = 0;
};

// Save dialog flags the hosts act on (the platform's values).
inline constexpr unsigned OFN_OVERWRITEPROMPT = 0x0002;
inline constexpr unsigned OFN_HIDEREADONLY = 0x0004;
inline constexpr unsigned OFN_FILEMUSTEXIST = 0x1000;

// The chosen path and file type (1-based index into the request's filters).
struct SaveDialogResult {
    std::string path;
    int filterIndex = 1;
};

// The dialogs of the camera link. They are modal for the user only: showing one returns at once,
// and the program ends it through the Shell when one of its buttons has done its work.
enum class LinkDialog { ComReconnect, ComDisconnect, ComCancelOk };

// The program's windows besides the frame. Capture windows get ids from FIRST_CAPTURE_WINDOW on.
inline constexpr WindowId PREVIEW_WINDOW = 2;
inline constexpr WindowId LIVE_IMAGE_WINDOW = 3;
inline constexpr WindowId FIRST_CAPTURE_WINDOW = 100;

// Menu command ids.
inline constexpr int CMD_OPEN = 40001;
inline constexpr int CMD_EXIT = 40002;
inline constexpr int CMD_SAVE_AS = 40003;
inline constexpr int CMD_DATA_IN = 40005;
inline constexpr int CMD_DATA_OUT_FINE = 40006;
inline constexpr int CMD_COMMUNICATION = 40007;
inline constexpr int CMD_FLASH_ALL_ERASE = 40008;
inline constexpr int CMD_DATA_OUT_NORMAL = 40009;
inline constexpr int CMD_DELETE_PAGE = 40010;
inline constexpr int CMD_HELP = 40011;
inline constexpr int CMD_ABOUT = 40012;
inline constexpr int CMD_DELETE_ALL = 40013;
inline constexpr int CMD_LIVE_ZOOM = 40014;
inline constexpr int CMD_CLOSE_IMAGE = 40015;
inline constexpr int CMD_IMAGE_ADJUST = 40016;
inline constexpr int CMD_PRINT = 40017;
inline constexpr int CMD_COPY_TO_CLIPBOARD = 40018;
inline constexpr int CMD_RELOAD = 40019;

// The menu bars. `Current` is whichever the frame shows now.
enum class MenuBar { Current, Frame, Preview, Capture, Imagefile, Liveimage };

// The "Please wait" dialogs: DATA_TRANS during a download, PERASE_PROC during a deletion. Like
// the link dialogs they do not block; the user's close (OK, Cancel, Esc) comes back to the
// program as a call (the picture download's PleaseWaitClosed).
enum class PleaseWait { DataTrans, PeraseProc };

enum class ScrollBarKind { Horizontal, Vertical };

// A scroll bar's range, page and position (a page larger than the range hides the thumb).
struct ScrollBarState {
    int min = 0;
    int max = 0;
    int page = 0;
    int pos = 0;
};

// A rectangle in client coordinates, right and bottom excluded.
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool operator==(const Rect&) const = default;
};

inline constexpr int CW_USEDEFAULT = -2147483647 - 1;

enum class ChildKind { Capture, Openfile };

// A child window the program asks the host to create (outer size in pixels).
struct ChildWindowRequest {
    WindowId id = 0;
    ChildKind kind = ChildKind::Capture;
    std::string title;
    int x = CW_USEDEFAULT;
    int y = CW_USEDEFAULT;
    int width = 0;
    int height = 0;
};

// The visible effects of the program. Hosts implement it with real widgets (the GUI), with
// text on a terminal (the CLI) or with a record (tests).
class Shell {
  public:
    virtual ~Shell() = default;

    // Shows a message box and returns the button pressed (IDOK, IDCANCEL, IDYES, IDNO).
    virtual int MessageBox(std::string_view text, std::string_view caption, unsigned style) = 0;

    // The single text of the frame's status bar.
    virtual void SetStatusText(std::string_view text) = 0;

    // Shows the save-file dialog; none when it was cancelled. A host without one cancels.
    virtual std::optional<SaveDialogResult> GetSaveFileName(const SaveDialogRequest& request) {
        (void)request;
        return std::nullopt;
    }

    virtual void ShowLinkDialog(LinkDialog dialog) = 0;
    virtual void EndLinkDialog(LinkDialog dialog) = 0;

    // The MDI client takes no input while the link is being set up.
    virtual void EnableMdiClient(bool enabled) = 0;

    // Opens the help file at a context number.
    virtual void ShowHelpContext(int context) = 0;

    // Menu items: enabled or greyed in one menu bar.
    virtual void EnableMenuItem(MenuBar menu, int commandId, bool enabled) = 0;
    // The menu bar the frame shows (a child sets its own while active).
    virtual void SetFrameMenu(MenuBar menu) = 0;

    // Child windows: created with an id the program chose, activated, retitled, destroyed.
    virtual void CreateChildWindow(const ChildWindowRequest& request) = 0;
    virtual void ActivateChildWindow(WindowId window) = 0;
    virtual void SetWindowTitle(WindowId window, std::string_view title) = 0;
    virtual void DestroyChildWindow(WindowId window) = 0;
    // Asks for a repaint of the whole client area (no rectangle) or of part of it.
    virtual void InvalidateWindow(WindowId window, std::optional<Rect> area, bool erase) = 0;
    // Moves the painted client content by (dx, dy) pixels (a scroll step).
    virtual void ScrollWindowContent(WindowId window, int dx, int dy) = 0;
    virtual void SetScrollBar(WindowId window, ScrollBarKind bar, const ScrollBarState& state) = 0;

    virtual void ShowPleaseWait(PleaseWait dialog) = 0;
    virtual void EndPleaseWait(PleaseWait dialog) = 0;

    // The frame's progress bar: shown or hidden, range 0..max, position.
    virtual void ShowProgressBar(bool shown) = 0;
    virtual void SetProgressRange(int max) = 0;
    virtual void SetProgressPos(int pos) = 0;

    // Puts a packed 24-bit DIB (40-byte header, then the rows) on the clipboard; false when the
    // clipboard cannot be had.
    virtual bool SetClipboardDib(std::vector<std::uint8_t> dib) = 0;
};

}  // namespace fotolyx
