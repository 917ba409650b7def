#pragma once

#include <QLabel>
#include <QMainWindow>
#include <QMdiArea>
#include <QPointer>
#include <QProgressBar>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <string_view>
#include <vector>

#include "app/frame.h"
#include "gui/child_window.h"
#include "gui/help_window.h"
#include "gui/menu_table.h"

namespace fotolyx {
class Program;
class Shell;
struct FramePlacement;
}  // namespace fotolyx

namespace fotolyx::gui {

inline constexpr int FRAME_WIDTH = 745;
inline constexpr int FRAME_HEIGHT = 605;
inline constexpr char FRAME_TITLE[] = "Fotolyx";

// Where a child window first appears.
struct ChildPlacement {
    const char* title;
    int x, y, width, height;
};
inline constexpr ChildPlacement LIVE_IMAGE_PLACEMENT = {"Live image Window", 5, 5, 340, 435};
inline constexpr ChildPlacement PREVIEW_PLACEMENT = {"Preview Window", 30, 30, 590, 475};

// The frame: menu bar (switched with the active child), the MDI client, the status bar with its
// single text and the hidden progress bar. Its commands and its closing follow the program's
// Frame; this window draws and forwards.
class FrameWindow final : public QMainWindow, private FrameWindows {
  public:
    FrameWindow(Program& program, Shell& shell);
    ~FrameWindow() override;

    // What the frame needs from the rest of the window program.
    std::function<ChildWindow*()> makeLiveImageWindow;
    std::function<ChildWindow*()> makePreviewWindow;
    std::function<ChildWindow*(const ChildWindowRequest&)> makeChildWindow;
    std::function<void()> openFile;                    // the Open command
    std::function<void()> afterEvent;                  // after every command the program handled
    std::function<void(const QString&)> onStatusText;  // the status text changed

    // The start-up: program initialisation, the two permanent windows, status and progress
    // bars, the frame shown with the Preview window active, the MDI client disabled.
    void Start();

    // Frame commands first, then the active child's.
    void Command(int id);

    ChildFrame* AddChild(ChildWindow* child, const ChildPlacement& placement);
    // A window the program asked for: outer size as requested, or the platform's default
    // place when x and y are CW_USEDEFAULT.
    ChildFrame* CreateChild(const ChildWindowRequest& request);
    // The window with a program id, if it is open.
    ChildFrame* Window(WindowId id) const;
    ChildFrame* PreviewFrame() const { return preview_; }
    ChildFrame* LiveImageFrame() const { return liveImage_; }
    ChildWindow* ActiveChild() const;
    QMdiArea* MdiArea() const { return mdi_; }

    const MenuWidgets& CurrentMenu() const;
    const MenuWidgets& Menu(MenuBar kind) const;
    MenuBar CurrentMenuKind() const { return currentMenu_; }
    void ShowMenu(MenuBar kind);

    void SetStatusText(std::string_view text);
    QString StatusText() const;
    QProgressBar* ProgressBar() const { return progress_; }

    // The end of the program without asking anyone (a signal, a session end that may not ask,
    // the application quitting): help closed, the program shut down. Once only.
    void ShutDown();
    bool IsShutDown() const { return shutDown_; }

    void ShowHelp(int context);
    HelpWindow* Help() const { return help_.get(); }
    bool ExitConfirmed() const;

    // The frame's normal rectangle and maximised state, as the settings keep them; a placement
    // is kept within a screen that is there.
    FramePlacement Placement() const;
    void ApplyPlacement(const FramePlacement& placement);

  protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    // What the program's Frame asks of the windows.
    std::vector<WindowId> Children() const override;
    void Restore(WindowId window) override;
    bool QueryClose(WindowId window) override;
    void CloseAgreed(WindowId window) override;
    void ActiveChildCommand(int command) override;
    void CloseFrame() override { close(); }
    void ShowOpenDialog() override;
    void ShowComSetup() override;
    void ShowHelp() override { ShowHelp(0); }
    void ShowAbout() override;

    void ChildActivated(QMdiSubWindow* sub);
    // The window that was active before closing, which comes back to the front and becomes the
    // active one again once closing has gone, as the user left it; none when there is none.
    ChildFrame* PreviouslyActive(const ChildFrame* closing);
    void FillWindowList(QMenu* popup);
    void PlaceProgressBar();

    Program& program_;
    Shell& shell_;
    QMdiArea* mdi_;
    QLabel* status_ = nullptr;
    QProgressBar* progress_ = nullptr;
    std::array<MenuWidgets, MENU_BAR_COUNT> menus_;
    MenuBar currentMenu_ = MenuBar::Frame;
    ChildFrame* preview_ = nullptr;
    ChildFrame* liveImage_ = nullptr;
    std::map<WindowId, ChildFrame*> windows_;
    QPointer<ChildFrame> active_;
    std::vector<QPointer<ChildFrame>> activationHistory_;  // the most recently active last
    std::unique_ptr<HelpWindow> help_;
    bool shutDown_ = false;
};

}  // namespace fotolyx::gui
