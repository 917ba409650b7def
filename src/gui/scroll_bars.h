#pragma once

#include <QScrollBar>
#include <QSize>
#include <QWidget>

#include "windows/picture_window.h"

namespace fotolyx::gui {

// The scroll code (SB_LINEUP ... SB_THUMBTRACK) of a Qt scroll-bar action; -1 for actions the
// picture windows do not take.
int ScrollCodeOf(int action);

// Qt's bar from the platform's range: a bar whose range is empty is hidden.
void ShowScrollBarState(QScrollBar* bar, const ScrollBarState& state);

// The client area of a window: the widget without the scroll bars that are shown.
QSize ClientSizeBeside(const QWidget& window, const QScrollBar& horizontal,
                       const QScrollBar& vertical);

// The bars along the bottom and right edges, leaving the corner free when both are shown.
void PlaceScrollBars(const QWidget& window, QScrollBar& horizontal, QScrollBar& vertical);

}  // namespace fotolyx::gui
