#include "gui/live_image_view.h"

#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include "app/program.h"
#include "camera_index/preview_window.h"
#include "gui/frame_window.h"
#include "gui/screen_image.h"

namespace fotolyx::gui {

namespace {

const QColor BACKGROUND(192, 192, 192);
const QColor DARK(64, 64, 64);
const QColor WHITE(255, 255, 255);

struct LiveButton {
    int id;
    Rect rect;
};
constexpr LiveButton LIVE_BUTTONS[] = {
    {LIVE_BUTTON_PREVIEW, LIVE_PREVIEW_BUTTON_RECT},
    {LIVE_BUTTON_PHOTO, LIVE_PHOTO_BUTTON_RECT},
};

// The four panels: a dark line, then a white one over it, each through three corners.
struct PanelLines {
    QPoint dark[3];
    QPoint white[3];
};
const PanelLines PANELS[] = {
    // Top panel, sunken.
    {{{5, 145}, {5, 5}, {325, 5}}, {{5, 145}, {325, 145}, {325, 5}}},
    // Small-picture frame, raised.
    {{{12, 138}, {178, 138}, {178, 12}}, {{12, 138}, {12, 12}, {178, 12}}},
    // Button panel, sunken.
    {{{190, 128}, {190, 22}, {310, 22}}, {{190, 128}, {310, 128}, {310, 22}}},
    // Photo frame, raised.
    {{{1, 399}, {329, 399}, {329, 151}}, {{1, 399}, {1, 151}, {329, 151}}},
};

// One-pixel lines from corner to corner; as with the platform's pens, each segment stops one
// pixel short of the corner it goes to, so the last corner is not drawn.
void Polyline(QPainter& painter, const QColor& colour, const QPoint (&corners)[3]) {
    for (std::size_t i = 0; i + 1 < std::size(corners); ++i) {
        const QPoint from = corners[i];
        const QPoint to = corners[i + 1];
        const QPoint step((to.x() > from.x()) - (to.x() < from.x()),
                          (to.y() > from.y()) - (to.y() < from.y()));
        const QPoint last = to - step;
        painter.fillRect(QRect(QPoint(std::min(from.x(), last.x()), std::min(from.y(), last.y())),
                               QPoint(std::max(from.x(), last.x()), std::max(from.y(), last.y()))),
                         colour);
    }
}

QImage ImageOf(const ShownPicture& shown) {
    if (shown.rgb.empty()) {
        return {};
    }
    // The image refers to the shown picture's bytes: copy it before they go.
    return QImage(shown.rgb.data(), shown.width, shown.height, 3 * shown.width,
                  QImage::Format_RGB888)
        .copy();
}

}  // namespace

LiveImageView::LiveImageView(LiveViewHost& host) : ChildWindow(LIVE_IMAGE_WINDOW), host_(host) {
    setAutoFillBackground(true);
    QPalette background = palette();
    background.setColor(QPalette::Window, BACKGROUND);
    setPalette(background);
    for (std::size_t i = 0; i < std::size(LIVE_BUTTONS); ++i) {
        const LiveButton& record = LIVE_BUTTONS[i];
        auto* button = new PictureButtonWidget(this, record.id, record.rect);
        // The bitmap covers the button: its repaints do not repaint (and so re-request a
        // frame in) the window behind it.
        button->setAttribute(Qt::WA_OpaquePaintEvent);
        // The bitmap follows the window's state alone: a press shows what the press made of it.
        button->bitmapFor = [this](int id, bool) {
            const LiveState& live = host_.Live();
            return static_cast<int>(id == LIVE_BUTTON_PREVIEW ? live.PreviewButtonBitmap
                                                              : live.PhotoButtonBitmap);
        };
        button->drawItem = [this](int id, unsigned itemState, unsigned itemAction) {
            ButtonNotified(id, itemState, itemAction);
            return 0;
        };
        buttons_[i] = button;
    }
}

void LiveImageView::ButtonNotified(int id, unsigned itemState, unsigned itemAction) {
    if ((itemAction & ODA_SELECT) != 0) {
        host_.Logic().ButtonNotify(id, (itemState & ODS_SELECTED) != 0);
    }
    // A step of one button can change the other's bitmap too.
    for (PictureButtonWidget* button : buttons_) {
        button->update();
    }
    Done();
}

PictureButtonWidget* LiveImageView::Button(int id) const {
    for (std::size_t i = 0; i < std::size(LIVE_BUTTONS); ++i) {
        if (LIVE_BUTTONS[i].id == id) {
            return buttons_[i];
        }
    }
    return nullptr;
}

void LiveImageView::Command(int id) {
    host_.Logic().Command(id);
    Done();
}

void LiveImageView::Activated(FrameWindow& frame, bool active) {
    ChildWindow::Activated(frame, active);
    if (active) {
        host_.BecameActiveChild();
    }
    host_.Logic().MdiActivate(active);
    DisplayState& display = host_.Display();
    if (active && !display.TrueColourDisplay && display.DisplayPalette) {
        display.ScreenPalette = display.DisplayPalette;
        update();
    }
    Done();
}

void LiveImageView::Invalidate(std::optional<Rect> area) {
    ChildWindow::Invalidate(area);
    for (PictureButtonWidget* button : buttons_) {
        button->update();
    }
}

bool LiveImageView::IsActive() const {
    return host_.IsActiveChild();
}

void LiveImageView::Done() {
    host_.AfterEvent();
}

void LiveImageView::DrawPicture(QPainter& painter, const std::optional<DibBlock>& picture,
                                const LivePicturePlacement& placement,
                                const QRegion& region) const {
    const PictureArea& to = placement.shown;
    // A frame repaints only the small picture: the large one is not stretched again for it.
    if (!picture ||
        (!region.isEmpty() && !region.intersects(QRect(to.x, to.y, to.width, to.height)))) {
        return;
    }
    const QImage shown = ShownImage(
        host_.Display(), ImageOf(StretchPicture(*picture, placement.source, to.width, to.height)));
    if (!shown.isNull()) {
        painter.drawImage(QPoint(to.x, to.y), shown);
    }
}

void LiveImageView::Draw(QPainter& painter, const QRegion& region) const {
    for (const PanelLines& panel : PANELS) {
        Polyline(painter, DARK, panel.dark);
        Polyline(painter, WHITE, panel.white);
    }
    const std::uint8_t variant = host_.ModelVariant();
    DrawPicture(painter, host_.LivePreview(), LivePreviewPlacement(variant), region);
    DrawPicture(painter, host_.LivePhoto(), LivePhotoPlacement(variant), region);
}

QImage LiveImageView::Render() {
    QImage image(size(), QImage::Format_RGB32);
    image.fill(BACKGROUND);
    QPainter painter(&image);
    Draw(painter);
    return image;
}

void LiveImageView::paintEvent(QPaintEvent* event) {
    DisplayState& display = host_.Display();
    if (!display.TrueColourDisplay && IsActive() && display.DisplayPalette) {
        display.ScreenPalette = display.DisplayPalette;
    }
    {
        QPainter painter(this);
        Draw(painter, event->region());
    }
    // While live view runs, every paint asks the camera for the next frame.
    host_.Logic().Paint();
    Done();
}

void LiveImageView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        const QPoint at = event->position().toPoint();
        host_.Logic().LButtonDblClk(at.x(), at.y());
        Done();
    }
}

void LiveImageView::resizeEvent(QResizeEvent*) {
    const auto* frame = qobject_cast<const QMdiSubWindow*>(parentWidget());
    if (frame && frame->isMaximized()) {
        host_.Logic().Size(true);
        Done();
    }
}

}  // namespace fotolyx::gui
