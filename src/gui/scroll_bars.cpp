#include "gui/scroll_bars.h"

#include <QStyle>
#include <algorithm>

namespace fotolyx::gui {

namespace {

struct ScrollRequest {
    int action;
    int code;
};

constexpr ScrollRequest SCROLL_REQUESTS[] = {
    {QAbstractSlider::SliderSingleStepSub, SB_LINEUP},
    {QAbstractSlider::SliderSingleStepAdd, SB_LINEDOWN},
    {QAbstractSlider::SliderPageStepSub, SB_PAGEUP},
    {QAbstractSlider::SliderPageStepAdd, SB_PAGEDOWN},
    {QAbstractSlider::SliderMove, SB_THUMBTRACK},
};

}  // namespace

int ScrollCodeOf(int action) {
    for (const ScrollRequest& request : SCROLL_REQUESTS) {
        if (request.action == action) {
            return request.code;
        }
    }
    return -1;
}

void ShowScrollBarState(QScrollBar* bar, const ScrollBarState& state) {
    const QSignalBlocker blocker(bar);
    bar->setRange(state.min, std::max(state.min, state.max));
    bar->setSliderPosition(state.pos);
    bar->setValue(state.pos);
    bar->setVisible(state.max > state.min);
}

QSize ClientSizeBeside(const QWidget& window, const QScrollBar& horizontal,
                       const QScrollBar& vertical) {
    return {window.width() - (vertical.isVisible() ? vertical.width() : 0),
            window.height() - (horizontal.isVisible() ? horizontal.height() : 0)};
}

void PlaceScrollBars(const QWidget& window, QScrollBar& horizontal, QScrollBar& vertical) {
    const int thickness = window.style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const bool both = horizontal.isVisible() && vertical.isVisible();
    horizontal.setGeometry(0, window.height() - thickness, window.width() - (both ? thickness : 0),
                           thickness);
    vertical.setGeometry(window.width() - thickness, 0, thickness,
                         window.height() - (both ? thickness : 0));
}

}  // namespace fotolyx::gui
