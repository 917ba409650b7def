#include "app/frame.h"

#include <cstdint>

#include "link/protocol.h"
#include "ports/serial_line.h"
#include "windows/capture_window.h"
#include "windows/live_image_window.h"

namespace fotolyx {

bool IsPermanentWindow(WindowId window) {
    return window == PREVIEW_WINDOW || window == LIVE_IMAGE_WINDOW;
}

void Frame::Command(int command, FrameWindows& windows) {
    switch (command) {
        case CMD_CLOSE_ALL:
            CloseChildren(false, windows);
            return;
        case CMD_OPEN:
            windows.ShowOpenDialog();
            return;
        case CMD_EXIT:
            windows.CloseFrame();
            return;
        case CMD_COMMUNICATION:
            windows.ShowComSetup();
            return;
        case CMD_FLASH_ALL_ERASE:
            if (shell_.MessageBox(TEXT_ERASE_QUESTION, CAPTION_ALL_ERASE,
                                  MB_OKCANCEL | MB_ICONQUESTION) == IDOK) {
                const std::uint8_t erase = ERASE_ALL;
                line_.Write({&erase, 1});
            }
            return;
        case CMD_HELP:
            windows.ShowHelp();
            return;
        case CMD_ABOUT:
            windows.ShowAbout();
            return;
        case CMD_CLOSE_IMAGE:
            CloseChildren(true, windows);
            return;
        default:
            windows.ActiveChildCommand(command);
            return;
    }
}

bool Frame::CloseChildren(bool keepPermanent, FrameWindows& windows) {
    bool allAgreed = true;
    // Picture windows first: one that stays (its save was cancelled) keeps the program open,
    // so the permanent windows are not closed under it.
    for (const bool permanentPass : {false, true}) {
        if (permanentPass && (keepPermanent || !allAgreed)) {
            break;
        }
        for (const WindowId window : windows.Children()) {
            if (IsPermanentWindow(window) != permanentPass) {
                continue;
            }
            windows.Restore(window);
            const bool agrees = permanentPass ? exitConfirmed_ : windows.QueryClose(window);
            if (!agrees) {
                allAgreed = false;
                continue;
            }
            windows.CloseAgreed(window);
        }
    }
    return allAgreed;
}

bool Frame::Close(FrameWindows& windows) {
    if (!exitConfirmed_) {
        // Closing stops a running live view first, as a click on its button does.
        if (live_.LiveViewRunning != 0) {
            liveWindow_.ButtonNotify(LIVE_BUTTON_PREVIEW, true);
        }
        if (shell_.MessageBox(TEXT_EXIT_QUESTION, CAPTION_FOTOLYX,
                              MB_OKCANCEL | MB_ICONEXCLAMATION) != IDOK) {
            return false;
        }
    }
    exitConfirmed_ = true;
    if (!CloseChildren(false, windows) || !windows.Children().empty()) {
        // A picture window stayed (its Save As was cancelled): the program stays too.
        exitConfirmed_ = false;
        return false;
    }
    return true;
}

}  // namespace fotolyx
