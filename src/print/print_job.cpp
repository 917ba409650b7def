#include "print/print_job.h"

#include <algorithm>

namespace fotolyx {

namespace {

constexpr std::uint16_t TRUE_COLOUR_BITS = 24;

// One page: StartPage, the picture, EndPage, then EndDoc. A cancelled or failed job is
// abandoned instead of ended.
void PrintPage(PrintDevice& device, PrintState& state, PrintSize size, const DibBlock& picture) {
    if (!AbortProc(device, state)) {
        device.Abort();
        return;
    }
    if (device.StartPage() > 0) {
        device.DrawPicture(0, 0, size.width, size.height, picture);
        if (!AbortProc(device, state)) {
            device.Abort();
            return;
        }
        if (device.EndPage() < 0) {
            // The printer refused the page: the job cannot be ended, and is not left open.
            device.Abort();
            return;
        }
    }
    device.EndDoc();
}

}  // namespace

PrintSize FitToPage(std::int32_t horzRes, std::int32_t vertRes, std::int32_t width,
                    std::int32_t height) {
    if (horzRes <= 0 || vertRes <= 0 || width <= 0 || height <= 0) {
        return {};
    }
    const std::int64_t hr = horzRes;
    const std::int64_t vr = vertRes;
    const std::int64_t w = width;
    const std::int64_t h = height;
    // The width the picture has when it fills the page height.
    const std::int64_t c = vr * w / h;
    std::int64_t outWidth = 0;
    std::int64_t outHeight = 0;
    if (hr <= c) {
        outWidth = hr;
        outHeight = hr * h / w;
    } else {
        outWidth = c;
        outHeight = vr;
    }
    // Both are at most the page's sides here.
    return {static_cast<std::int32_t>(std::max<std::int64_t>(outWidth, 1)),
            static_cast<std::int32_t>(std::max<std::int64_t>(outHeight, 1))};
}

bool PictureIsPrintable(const DibBlock& picture) {
    return DibIsConsistent(picture) && DibHeaderSize(picture) == INFO_HEADER_SIZE &&
           DibBitCount(picture) == TRUE_COLOUR_BITS && DibCompressionTag(picture) == BI_RGB &&
           DibPaletteSize(picture) == 0;
}

int Print(PrintDevice& device, PrintState& state, std::string_view title, const DibBlock& picture) {
    if (!PictureIsPrintable(picture)) {
        return 0;
    }
    if (!device.RunPrintDialog()) {
        return 1;
    }
    const PrintSize size =
        FitToPage(device.HorzRes(), device.VertRes(), DibWidth(picture), DibHeight(picture));
    if (size.width <= 0) {
        return 0;  // a printer without a printable area
    }

    device.SetOwnerEnabled(false);
    state.PrintAborted = 0;
    device.ShowCancelDialog();
    state.AbortDialog = true;

    if (device.StartDoc(title) > 0) {
        PrintPage(device, state, size, picture);
    }

    // A cancelled job has already enabled the owner and removed the dialog.
    if (state.PrintAborted == 0) {
        device.SetOwnerEnabled(true);
        device.DestroyCancelDialog();
        state.AbortDialog = false;
    }
    return 0;
}

void CancelDialogCommand(PrintDevice& device, PrintState& state) {
    if (!state.AbortDialog) {
        return;
    }
    state.PrintAborted = 1;
    device.SetOwnerEnabled(true);
    device.DestroyCancelDialog();
    state.AbortDialog = false;
}

bool AbortProc(PrintDevice& device, PrintState& state) {
    while (state.PrintAborted == 0 && device.PumpEvent()) {
    }
    return state.PrintAborted == 0;
}

}  // namespace fotolyx
