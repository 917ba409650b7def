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

inline constexpr int CAPTURE_LINE_STEP = 4;
inline constexpr int CAPTURE_PAGE_STEP = 20;
// The outer window is this much larger than the picture.
inline constexpr int CAPTURE_FRAME_EXTRA_WIDTH = 4;
inline constexpr int CAPTURE_FRAME_EXTRA_HEIGHT = 30;

// What a new Capture window is created with.
struct CaptureCreateData {
    std::uint32_t position = 0;    // in the picture index
    std::uint16_t widthLess4 = 0;  // picture width - 4
    std::uint16_t heightLess2 = 0;
    DibBlock pixels;                    // zero-filled until the picture arrives
    std::optional<LogPalette> palette;  // 8-bit screens only
};

// What the Capture window needs from the program around it.
class CaptureWindowHost {
  public:
    virtual ~CaptureWindowHost() = default;
    // The default file name of the index entry at a position.
    virtual std::string DefaultFileName(std::uint32_t position) const = 0;
    virtual SaveContext MakeSaveContext() = 0;
    // Save As has run (saved or cancelled): the download may close the window and go on.
    virtual void AfterSaveAs(WindowId window) = 0;
    // Asks for the window to be closed (as if the user closed it).
    virtual void CloseWindow(WindowId window) = 0;
    // Where the window's copies (the clipboard's block) come from.
    virtual Memory& WindowMemory() = 0;
};

// Where and how big the picture is painted in a client area of a given size.
struct CapturePaint {
    int x = 0;  // destination of the picture's top-left corner
    int y = 0;
    int width = 0;
    int height = 0;
};

// The Capture window without drawing: one downloaded picture, its scroll bars, Save As, Copy to
// Clipboard and the save prompt. Methods are named after the messages a view forwards.
class CaptureWindow {
  public:
    CaptureWindow(WindowId id, CaptureCreateData data, Shell& shell, CaptureWindowHost& host);

    // WM_CREATE: the client size at creation and the scroll bars' thickness.
    void Create(int clientWidth, int clientHeight, int vScrollWidth, int hScrollHeight);
    // WM_SIZE (not minimised).
    void Size(int clientWidth, int clientHeight);
    void HScroll(int code, int pos);
    void VScroll(int code, int pos);
    // WM_COMMAND; true when the command was this window's.
    bool Command(int id);
    // WM_CLOSE / WM_QUERYENDSESSION: the save prompt. False when the window must stay: Yes was
    // chosen and the Save As did not write the picture (cancelled or failed), so closing would
    // lose the changes.
    bool Close();

    // The picture's placement for painting in a client area of this size.
    CapturePaint Paint(int clientWidth, int clientHeight) const;

    WindowId id() const { return id_; }
    std::uint32_t position() const { return position_; }
    int PictureWidth() const { return widthLess4_ + 4; }
    int PictureHeight() const { return heightLess2_ + 2; }
    DibBlock& picture() { return pixels_; }
    const DibBlock& picture() const { return pixels_; }
    std::optional<LogPalette>& palette() { return palette_; }
    bool modified() const { return modified_; }
    void SetModified() { modified_ = true; }
    const std::string& title() const { return title_; }
    void SetTitle(std::string title) { title_ = std::move(title); }
    ScrollBarState HorizontalBar() const { return hBar_; }
    ScrollBarState VerticalBar() const { return vBar_; }

    // Save As (40003) and Copy to Clipboard (40018).
    void SaveAs();
    void CopyToClipboard();

  private:
    // The save itself, without what follows it in a download sequence.
    // True when the picture was written (or there is none to lose).
    bool SaveAsOnly();
    void Scroll(ScrollBarKind kind, int code, int pos);

    WindowId id_;
    std::uint32_t position_;
    bool modified_ = false;
    std::uint16_t widthLess4_;
    std::uint16_t heightLess2_;
    int fullClientHeight_ = 0;
    int fullClientWidth_ = 0;
    DibBlock pixels_;
    std::optional<LogPalette> palette_;
    std::string title_;
    ScrollBarState hBar_;
    ScrollBarState vBar_;
    int clientWidth_ = 0;
    int clientHeight_ = 0;
    Shell& shell_;
    CaptureWindowHost& host_;
};

}  // namespace fotolyx
