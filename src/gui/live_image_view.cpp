#include "gui/live_image_view.h"

namespace fotolyx::gui {

LiveImageView::LiveImageView() : ChildWindow(LIVE_IMAGE_WINDOW) {
    setAutoFillBackground(true);
    QPalette background = palette();
    background.setColor(QPalette::Window, QColor(192, 192, 192));
    setPalette(background);
}

}  // namespace fotolyx::gui
