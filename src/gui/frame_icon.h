#pragma once

#include <QIcon>
#include <QImage>

namespace fotolyx::gui {

// The program's icon (FRAME_ICON): a camcorder, drawn in code at any size. The desktop entry
// and the installed icon files carry the same name.
inline constexpr char FRAME_ICON_NAME[] = "fotolyx";
inline constexpr int FRAME_ICON_SIZES[] = {16, 24, 32, 48, 64, 128, 256};

QImage DrawFrameIcon(int size);
QIcon FrameIcon();

// What the desktop learns of the running program: its desktop entry and its window icon.
void SetUpDesktopIntegration();

}  // namespace fotolyx::gui
