#pragma once

#include <cstdint>
#include <string_view>

#include "imaging/dib_block.h"

namespace fotolyx {

// The printer as the Print command sees it: the print dialog, the printable area, the document
// and page calls, the owner window and the cancel dialog, and the program's pending events.
// Results follow the printing calls: StartDoc gives a positive job number, StartPage and
// EndPage a positive value on success, EndPage a negative one on an error.
class PrintDevice {
  public:
    virtual ~PrintDevice() = default;

    // The print dialog; false when the user cancelled it or it failed.
    virtual bool RunPrintDialog() = 0;
    // Printable width and height in device pixels.
    virtual std::int32_t HorzRes() = 0;
    virtual std::int32_t VertRes() = 0;

    virtual int StartDoc(std::string_view documentName) = 0;
    virtual int StartPage() = 0;
    // The whole 24-bit picture stretched to (x, y, width, height) in device pixels from the
    // top-left corner of the printable area.
    virtual void DrawPicture(std::int32_t x, std::int32_t y, std::int32_t width,
                             std::int32_t height, const DibBlock& picture) = 0;
    virtual int EndPage() = 0;
    virtual int EndDoc() = 0;
    // Discards the job: nothing more of it reaches the printer.
    virtual void Abort() = 0;

    virtual void SetOwnerEnabled(bool enabled) = 0;
    // The modeless "Cancel Print Job" dialog, owned by the owner window.
    virtual void ShowCancelDialog() = 0;
    virtual void DestroyCancelDialog() = 0;
    // Dispatches pending events of the program (the cancel dialog's among them); true when
    // one was dispatched and more may be waiting.
    virtual bool PumpEvent() = 0;
};

// One print run's state, owned by the caller.
struct PrintState {
    int PrintAborted = 0;      // 1 once the user cancelled the job
    bool AbortDialog = false;  // the cancel dialog is up
};

struct PrintSize {
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool operator==(const PrintSize&) const = default;
};

// A picture of width x height fitted into a printable area of horzRes x vertRes without
// distortion, in integer arithmetic. A side that would round down to nothing gets one pixel;
// an area or picture without size gives {0, 0}.
PrintSize FitToPage(std::int32_t horzRes, std::int32_t vertRes, std::int32_t width,
                    std::int32_t height);

// True for what a picture window holds: a 24-bit uncompressed bitmap with a 40-byte header,
// positive sizes and all of its rows inside the block.
bool PictureIsPrintable(const DibBlock& picture);

// Print of a picture window: the print dialog, then the picture on one page at the top-left
// of the printable area, the owner disabled and the cancel dialog up meanwhile. 1 when the
// print dialog was cancelled, 0 otherwise (a picture that cannot be printed shows nothing).
int Print(PrintDevice& device, PrintState& state, std::string_view title, const DibBlock& picture);

// A command of the cancel dialog (its Cancel button, or Esc): the job is abandoned, the owner
// enabled and the dialog gone at once.
void CancelDialogCommand(PrintDevice& device, PrintState& state);

// Keeps the program's events flowing while the page is produced; false once the job was
// cancelled (the job is then to be abandoned).
bool AbortProc(PrintDevice& device, PrintState& state);

}  // namespace fotolyx
