#pragma once

#include <functional>
#include <optional>
#include <string>

#include "imaging/dib_block.h"
#include "imaging/palette.h"
#include "imaging/save_pipeline.h"
#include "ports/shell.h"
#include "ports/timers.h"
#include "windows/capture_window.h"

namespace fotolyx {

inline constexpr std::size_t OPENFILE_PICTURE_SIZE = 925'696;
inline constexpr int OPENFILE_WINDOW_WIDTH = 644;
inline constexpr int OPENFILE_WINDOW_HEIGHT = 510;
// Openfile windows get ids from here on (Capture windows count from 100).
inline constexpr WindowId FIRST_OPENFILE_WINDOW = 50'000;
inline constexpr int OPENFILE_PICTURE_WIDTH = 640;
inline constexpr int OPENFILE_PICTURE_HEIGHT = 480;

// The client size an Openfile window would have without scroll bars. Every Openfile window
// sets it when it is created and all of them bound their scroll ranges by it.
struct OpenViewSize {
    int OpenViewWidth = 0;
    int OpenViewHeight = 0;
};

// What an Openfile window reaches of the rest of the program.
struct OpenfileWindowPorts {
    Shell& shell;
    std::function<SaveContext()> saveContext;
    // Data out to camera (40006 Fine, 40009 Normal) with this window's picture.
    std::function<void(WindowId window, int commandId, const DibBlock& picture)> upload;
    // Timers 1 and 2, the upload's watchdog.
    std::function<void(WindowId window, int id)> uploadTimer;
    // The program's view size, shared by all Openfile windows (none: the window keeps its own).
    OpenViewSize* view = nullptr;
    // 8-bit displays: the palette the screen draws with.
    std::optional<LogPalette>* screenPalette = nullptr;
    // Where the window's copies (the clipboard's block) come from (none: plain memory).
    Memory* memory = nullptr;
};

// An Openfile window without its drawing: a 640 x 480 picture of its own, the modified flag,
// its title, and the commands it handles itself or hands on.
class OpenfileWindow {
  public:
    OpenfileWindow(WindowId id, std::string title, bool modified, DibBlock picture,
                   OpenfileWindowPorts ports)
        : id_(id),
          title_(std::move(title)),
          modified_(modified),
          picture_(std::move(picture)),
          ports_(std::move(ports)) {}

    void Command(int id);
    void Timer(int id);

    // WM_CREATE: the client size at creation and the scroll bars' thickness set the view size;
    // both bars start at 0..0.
    void Create(int clientWidth, int clientHeight, int vScrollWidth, int hScrollHeight);
    // WM_SIZE (not minimised).
    void Size(int clientWidth, int clientHeight);
    void HScroll(int code, int pos);
    void VScroll(int code, int pos);
    // WM_PAINT: where the picture goes in a client area of this size. On an 8-bit display the
    // active window's own palette becomes the screen's first.
    CapturePaint Paint(int clientWidth, int clientHeight);
    // WM_MDIACTIVATE: the menu bar, and on an 8-bit display the screen palette.
    void MdiActivate(bool active);
    // Close and end-of-session requests: asks about unsaved changes; the window always goes.
    bool Close();

    WindowId id() const { return id_; }
    const std::string& title() const { return title_; }
    bool modified() const { return modified_; }
    void SetModified() { modified_ = true; }
    const DibBlock& picture() const { return picture_; }
    DibBlock& picture() { return picture_; }
    const SaveAsResult& lastSave() const { return lastSave_; }
    // 8-bit displays only: the window's own palette.
    std::optional<LogPalette>& palette() { return palette_; }
    const std::optional<LogPalette>& palette() const { return palette_; }
    bool active() const { return active_; }
    ScrollBarState HorizontalBar() const { return hBar_; }
    ScrollBarState VerticalBar() const { return vBar_; }

  private:
    void SaveAs();
    void CopyToClipboard();
    void Scroll(ScrollBarKind kind, int code, int pos);

    WindowId id_;
    std::string title_;
    bool modified_;
    DibBlock picture_;
    OpenfileWindowPorts ports_;
    SaveAsResult lastSave_;
    std::optional<LogPalette> palette_;
    bool active_ = false;
    OpenViewSize ownView_;
    ScrollBarState hBar_;
    ScrollBarState vBar_;
};

// "Save changes to %s?" with the title filled in.
std::string SaveChangesQuestion(const std::string& title);

}  // namespace fotolyx
