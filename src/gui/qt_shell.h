#pragma once

#include <QPointer>
#include <functional>
#include <map>
#include <string>

#include "gui/dialogs.h"
#include "ports/shell.h"

namespace fotolyx {
class LinkSetup;
}

namespace fotolyx::gui {

class FrameWindow;

// The Shell on Qt widgets: message boxes with the caption, buttons and icon asked for, the
// frame's status text, the link dialogs, the MDI client's input and the help.
class QtShell final : public Shell {
  public:
    QtShell() = default;
    ~QtShell() override;
    QtShell(const QtShell&) = delete;
    QtShell& operator=(const QtShell&) = delete;

    // Connected once the frame and the program exist.
    void Attach(FrameWindow* frame, LinkSetup* setup);
    std::function<void()> afterEvent;  // after a dialog button did its work
    // A line added to "Please check PC/VISTACAM Connection." (a port the user may not open).
    std::function<std::string()> reconnectNote;

    int MessageBox(std::string_view text, std::string_view caption, unsigned style) override;
    void SetStatusText(std::string_view text) override;
    std::optional<SaveDialogResult> GetSaveFileName(const SaveDialogRequest& request) override;
    void ShowLinkDialog(LinkDialog dialog) override;
    void EndLinkDialog(LinkDialog dialog) override;
    void EnableMdiClient(bool enabled) override;
    void ShowHelpContext(int context) override;

    void EnableMenuItem(MenuBar menu, int commandId, bool enabled) override;
    void SetFrameMenu(MenuBar menu) override;
    void CreateChildWindow(const ChildWindowRequest& request) override;
    void ActivateChildWindow(WindowId window) override;
    void SetWindowTitle(WindowId window, std::string_view title) override;
    void DestroyChildWindow(WindowId window) override;
    void InvalidateWindow(WindowId window, std::optional<Rect> area, bool erase) override;
    void ScrollWindowContent(WindowId window, int dx, int dy) override;
    void SetScrollBar(WindowId window, ScrollBarKind bar, const ScrollBarState& state) override;

    // The please-wait dialogs of the transfers: shown without waiting, ended by the program;
    // the user's Esc is told to pleaseWaitClosed.
    void ShowPleaseWait(PleaseWait dialog) override;
    void EndPleaseWait(PleaseWait dialog) override;
    std::function<void(PleaseWait)> pleaseWaitClosed;
    PleaseWaitDialog* OpenPleaseWait() const { return pleaseWait_; }

    void ShowProgressBar(bool shown) override;
    void SetProgressRange(int max) override;
    void SetProgressPos(int pos) override;

    // The picture both as an image and as a BMP file ("image/bmp").
    bool SetClipboardDib(std::vector<std::uint8_t> dib) override;

    LinkDialogWindow* OpenLinkDialog(LinkDialog dialog) const;

  private:
    FrameWindow* frame_ = nullptr;
    LinkSetup* setup_ = nullptr;
    std::map<LinkDialog, QPointer<LinkDialogWindow>> linkDialogs_;
    std::string reconnectNoteText_;
    QPointer<PleaseWaitDialog> pleaseWait_;
};

}  // namespace fotolyx::gui
