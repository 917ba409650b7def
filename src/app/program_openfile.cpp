// The Program's Openfile windows: palettes on 8-bit displays, changed pictures, destruction.
#include <algorithm>

#include "app/program.h"
#include "imaging/colour_reduction.h"

namespace fotolyx {

void Program::RebuildOpenfilePalette(OpenfileWindow& window) {
    if (display.TrueColourDisplay || !window.palette()) {
        return;
    }
    if (!display.ImagePalette) {
        display.ImagePalette = LogPalette{};
    }
    BuildPopularityPalette(ports.shell, ports.memory, window.picture(), *display.ImagePalette);
    display.ScreenPalette = display.ImagePalette;
    LogPalette copy = *display.ImagePalette;
    for (PaletteEntry& entry : copy.palPalEntry) {
        entry.peFlags = 0;
    }
    *window.palette() = copy;
}

void Program::OpenfilePictureChanged(WindowId window) {
    if (OpenfileWindow* openfile = FindOpenfileWindow(window)) {
        openfile->SetModified();
        RebuildOpenfilePalette(*openfile);
        ports.shell.InvalidateWindow(window, std::nullopt, false);
    }
}

void Program::DestroyOpenfileWindow(WindowId window) {
    const auto found =
        std::find_if(openfileWindows.begin(), openfileWindows.end(),
                     [window](const auto& openfile) { return openfile->id() == window; });
    if (found == openfileWindows.end()) {
        return;
    }
    if (!display.TrueColourDisplay) {
        display.ScreenPalette.reset();
    }
    openfileWindows.erase(found);
}

}  // namespace fotolyx
