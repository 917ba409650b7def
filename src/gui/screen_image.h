#pragma once

#include <QImage>

#include "app/display_state.h"

namespace fotolyx::gui {

// A picture as the screen shows it. On a true-colour display that is the picture itself; on a
// 256-colour display every pixel becomes the nearest colour of the current ScreenPalette (the
// first of equally near entries), as an 8-bit screen shows a picture through its palette.
QImage ShownImage(const DisplayState& display, const QImage& picture);

// The nearest-colour mapping itself.
QImage ThroughPalette(const QImage& picture, const LogPalette& palette);

}  // namespace fotolyx::gui
