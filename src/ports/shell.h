#pragma once

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

// The chosen path and file type (1-based index into the request's filters).
struct SaveDialogResult {
    std::string path;
    int filterIndex = 1;
};

// The dialogs of the camera link. They are modal for the user only: showing one returns at once,
// and the program ends it through the Shell when one of its buttons has done its work.
enum class LinkDialog { ComReconnect, ComDisconnect, ComCancelOk };

// A rectangle of a window's client area in pixels, right and bottom exclusive.
struct WindowRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool operator==(const WindowRect&) const = default;
};

// The kinds of MDI child the core creates besides the two permanent ones.
enum class ChildWindowKind { Openfile };

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

    // Asks for a window (or a part of it, when rect is given) to be painted again. A host
    // without a display paints at once after the current handler: it calls the window's
    // Paint(), so what painting asks of the camera still happens.
    virtual void InvalidateRect(WindowId window, std::optional<WindowRect> rect, bool erase) = 0;

    // Greys or enables an item of the frame's current menu, by command id.
    virtual void EnableMenuItem(int commandId, bool enabled) = 0;

    // A new MDI child exists (its logic object is the core's); the host shows it with a title.
    virtual void ChildWindowCreated(WindowId window, ChildWindowKind kind,
                                    std::string_view title) = 0;
};

}  // namespace fotolyx
