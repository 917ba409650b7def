#include "gui/frame_icon.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

namespace fotolyx::gui {

namespace {

// The drawing on a 64 x 64 grid, scaled to the size asked for.
constexpr QRgb BODY = 0xFF2F4F6F;
constexpr QRgb BODY_EDGE = 0xFF0B2540;
constexpr QRgb HOOD = 0xFF5A6F84;
constexpr QRgb LENS_RING = 0xFF9FC5E8;
constexpr QRgb LENS = 0xFF0B2540;
constexpr QRgb GLINT = 0xFFFFFFFF;
constexpr QRgb RECORD = 0xFFE53935;

}  // namespace

QImage DrawFrameIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 64.0, size / 64.0);
    const QPen edge(QColor::fromRgb(BODY_EDGE), 1.5);

    // The lens hood opening to the right, behind the body.
    painter.setPen(edge);
    painter.setBrush(QColor::fromRgb(HOOD));
    painter.drawPolygon(
        QPolygonF{{QPointF(42, 28), QPointF(60, 17), QPointF(60, 53), QPointF(42, 44)}});
    // The viewfinder on top, then the body.
    painter.setBrush(QColor::fromRgb(BODY));
    painter.drawRoundedRect(QRectF(9, 11, 18, 10), 2, 2);
    painter.drawRoundedRect(QRectF(4, 19, 42, 33), 6, 6);
    // The lens seen from the side: ring, glass and a glint.
    painter.setBrush(QColor::fromRgb(LENS_RING));
    painter.drawEllipse(QPointF(21, 36), 11, 11);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor::fromRgb(LENS));
    painter.drawEllipse(QPointF(21, 36), 6.5, 6.5);
    painter.setBrush(QColor::fromRgb(GLINT));
    painter.drawEllipse(QPointF(18.5, 33.5), 2, 2);
    // The record lamp.
    painter.setBrush(QColor::fromRgb(RECORD));
    painter.drawEllipse(QPointF(39, 25), 2.5, 2.5);
    painter.end();
    return image;
}

QIcon FrameIcon() {
    QIcon icon;
    for (const int size : FRAME_ICON_SIZES) {
        icon.addPixmap(QPixmap::fromImage(DrawFrameIcon(size)));
    }
    return icon;
}

void SetUpDesktopIntegration() {
    QGuiApplication::setDesktopFileName(QString::fromLatin1(FRAME_ICON_NAME));
    QGuiApplication::setWindowIcon(FrameIcon());
}

}  // namespace fotolyx::gui
