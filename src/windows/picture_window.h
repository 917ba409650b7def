#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "imaging/dib_block.h"
#include "imaging/palette.h"
#include "imaging/save_pipeline.h"
#include "ports/memory.h"
#include "ports/messages.h"
#include "ports/shell.h"

namespace fotolyx {

// Scroll request codes of a scroll bar message (values as the platform numbers them; the
// thumb position code 4 is not handled).
inline constexpr int SB_LINEUP = 0;
inline constexpr int SB_LINEDOWN = 1;
inline constexpr int SB_PAGEUP = 2;
inline constexpr int SB_PAGEDOWN = 3;
inline constexpr int SB_THUMBTRACK = 5;

inline constexpr int PICTURE_LINE_STEP = 4;
inline constexpr int PICTURE_PAGE_STEP = 20;
// The outer window is this much larger than its client area.
inline constexpr int CAPTURE_FRAME_EXTRA_WIDTH = 4;
inline constexpr int CAPTURE_FRAME_EXTRA_HEIGHT = 30;

// Openfile windows: a 640 x 480 picture in a block of fixed size.
inline constexpr std::size_t OPENFILE_PICTURE_SIZE = 925'696;
inline constexpr int OPENFILE_WINDOW_WIDTH = 644;
inline constexpr int OPENFILE_WINDOW_HEIGHT = 510;
// Openfile windows get ids from here on (Capture windows count from 100).
inline constexpr WindowId FIRST_OPENFILE_WINDOW = 50'000;
inline constexpr int OPENFILE_PICTURE_WIDTH = 640;
inline constexpr int OPENFILE_PICTURE_HEIGHT = 480;

// What one kind of picture window does its own way; everything else is the same for all.
struct PictureWindowKind {
    MenuBar menu;         // the frame's menu bar while the window is active
    SaveWindowKind save;  // the Save As variant
    // Scroll ranges: the picture's width less 4 and height less 2 beyond the client area, or
    // (false) the view size beyond it.
    bool rangesFromPicture;
    // A line or page step stopped at an end repaints with erasing.
    bool eraseWhenStopped;
    // The save question brings the window to the front first.
    bool activateBeforeAsking;
};

inline constexpr PictureWindowKind CAPTURE_KIND{MenuBar::Capture, SaveWindowKind::Capture, true,
                                                true, true};
inline constexpr PictureWindowKind OPENFILE_KIND{MenuBar::Imagefile, SaveWindowKind::Openfile,
                                                 false, false, false};

// The client size a window would have without scroll bars. A Capture window keeps its own;
// all Openfile windows share the program's, set by whichever was created last.
struct OpenViewSize {
    int OpenViewWidth = 0;
    int OpenViewHeight = 0;
};

// What a new picture window is created with.
struct PictureCreateData {
    std::uint32_t position = 0;    // in the picture index (Capture windows)
    std::uint16_t widthLess4 = 0;  // picture width - 4
    std::uint16_t heightLess2 = 0;
    DibBlock pixels;  // a Capture window's is zero-filled until the picture arrives
    std::optional<LogPalette> palette;  // 8-bit screens only
    std::string title;
    bool modified = false;
};

// What a picture window needs from the program around it.
class PictureWindowHost {
  public:
    virtual ~PictureWindowHost() = default;
    // The name Save As proposes for the picture at an index position.
    virtual std::string DefaultFileName(std::uint32_t position) const = 0;
    virtual SaveContext MakeSaveContext() = 0;
    // Save As has run (saved or cancelled): a download sequence may close the window and go on.
    virtual void AfterSaveAs(WindowId window) { (void)window; }
    // Data out to camera (40006 Fine, 40009 Normal) with the window's picture.
    virtual void Upload(WindowId window, int commandId, const DibBlock& picture) {
        (void)window;
        (void)commandId;
        (void)picture;
    }
    // Where the window's copies (the clipboard's block) come from.
    virtual Memory& WindowMemory() = 0;
};

struct PictureWindowPorts {
    Shell& shell;
    PictureWindowHost& host;
    // 8-bit displays: the palette the screen draws with.
    std::optional<LogPalette>& screenPalette;
    // The view size shared with other windows; none: the window keeps its own.
    OpenViewSize* sharedView = nullptr;
};

// Where and how big the picture is painted in a client area of a given size.
struct PicturePaint {
    int x = 0;  // destination of the picture's top-left corner
    int y = 0;
    int width = 0;
    int height = 0;
};

// A picture window without its drawing (a Capture window with a downloaded picture, or an
// Openfile window with one from a file or the live photo): the picture drawn 1:1 with two
// scroll bars, Save As, Copy to Clipboard, the save prompt and, on 8-bit displays, the
// window's own palette. Methods are named after the messages a view forwards.
class PictureWindow {
  public:
    PictureWindow(WindowId id, const PictureWindowKind& kind, PictureCreateData data,
                  PictureWindowPorts ports);

    // WM_CREATE: the client size at creation and the scroll bars' thickness set the view size;
    // both bars start at 0..0.
    void Create(int clientWidth, int clientHeight, int vScrollWidth, int hScrollHeight);
    // WM_SIZE (not minimised).
    void Size(int clientWidth, int clientHeight);
    void HScroll(int code, int pos);
    void VScroll(int code, int pos);
    // WM_COMMAND: Save As (which may close the window), Copy to Clipboard, Data out to camera.
    void Command(int id);
    // WM_MDIACTIVATE: the menu bar, and on an 8-bit display the screen palette.
    void MdiActivate(bool active);
    // WM_PAINT: where the picture goes in a client area of this size. On an 8-bit display the
    // active window's own palette becomes the screen's first.
    PicturePaint Paint(int clientWidth, int clientHeight);
    // WM_CLOSE / WM_QUERYENDSESSION: the save prompt. False when the window must stay: Yes was
    // chosen and the Save As did not write the picture (cancelled or failed), so closing would
    // lose the changes.
    bool Close();

    WindowId id() const { return id_; }
    const PictureWindowKind& kind() const { return kind_; }
    std::uint32_t position() const { return position_; }
    int PictureWidth() const { return widthLess4_ + 4; }
    int PictureHeight() const { return heightLess2_ + 2; }
    DibBlock& picture() { return pixels_; }
    const DibBlock& picture() const { return pixels_; }
    // 8-bit displays only: the window's own palette.
    std::optional<LogPalette>& palette() { return palette_; }
    const std::optional<LogPalette>& palette() const { return palette_; }
    bool modified() const { return modified_; }
    void SetModified() { modified_ = true; }
    const std::string& title() const { return title_; }
    const SaveAsResult& lastSave() const { return lastSave_; }
    ScrollBarState HorizontalBar() const { return hBar_; }
    ScrollBarState VerticalBar() const { return vBar_; }

  private:
    // The save itself, without what follows it in a download sequence.
    // True when the picture was written (or there is none to lose).
    bool SaveAsOnly();
    void CopyToClipboard();
    void Scroll(ScrollBarKind kind, int code, int pos);
    // The window's palette becomes the screen's; false when it has none to give.
    bool PaletteToScreen();

    WindowId id_;
    PictureWindowKind kind_;
    std::uint32_t position_;
    bool modified_;
    std::uint16_t widthLess4_;
    std::uint16_t heightLess2_;
    DibBlock pixels_;
    std::optional<LogPalette> palette_;
    std::string title_;
    PictureWindowPorts ports_;
    OpenViewSize ownView_;
    SaveAsResult lastSave_;
    bool active_ = false;
    ScrollBarState hBar_;
    ScrollBarState vBar_;
};

// "Save changes to %s?" with the title filled in.
std::string SaveChangesQuestion(const std::string& title);

}  // namespace fotolyx
