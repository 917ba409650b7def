// The Program's Openfile windows: palettes on 8-bit displays, changed pictures, destruction.
#include <algorithm>

#include "app/program.h"
#include "imaging/colour_reduction.h"
#include "link/link_setup.h"
#include "ports/local_clock.h"

namespace fotolyx {

std::string OpenfileHost::DefaultFileName(std::uint32_t) const {
    return ProposeTimeName(program_.ports.clock.Now());
}

SaveContext OpenfileHost::MakeSaveContext() {
    return program_.MakeSaveContext();
}

void OpenfileHost::Upload(WindowId window, int commandId, const DibBlock& picture) {
    program_.pictureUpload.Start(window, commandId == CMD_DATA_OUT_FINE, picture);
}

Memory& OpenfileHost::WindowMemory() {
    return program_.ports.memory;
}

void Program::RebuildOpenfilePalette(PictureWindow& window) {
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
    if (PictureWindow* openfile = FindOpenfileWindow(window)) {
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
