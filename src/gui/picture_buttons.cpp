#include "gui/picture_buttons.h"

#include <QPainter>

#include "camera_index/preview_window.h"
#include "live/live_decoding.h"

namespace fotolyx::gui {

namespace {

enum class Face { Up, Pressed, NoChoice };

constexpr int BITMAP_HEIGHT = 31;
constexpr QRgb BLUE = qRgb(0, 0, 255);
constexpr QRgb GREEN = qRgb(0, 128, 0);
constexpr QRgb FACE = qRgb(192, 192, 192);
constexpr QRgb LIGHT = qRgb(255, 255, 255);
constexpr QRgb SHADOW = qRgb(128, 128, 128);
constexpr QRgb DARK = qRgb(64, 64, 64);
constexpr QRgb WHITE = qRgb(255, 255, 255);
constexpr QRgb BLACK = qRgb(0, 0, 0);
constexpr QRgb DARK_RED = qRgb(160, 0, 0);
constexpr QRgb LIVE_BLUE = qRgb(0, 0, 160);
constexpr QRgb LIVE_RED = qRgb(200, 0, 0);

struct BitmapRecord {
    int number;
    int width;
    const char* caption;
    QRgb captionColour;
    Face face;
    int height = BITMAP_HEIGHT;
    QRgb faceColour = FACE;
};

constexpr BitmapRecord BITMAPS[] = {
    {BITMAP_TRANSFER_UP, 90, "Transfer", BLUE, Face::Up},
    {BITMAP_TRANSFER_PRESSED, 90, "Transfer", BLUE, Face::Pressed},
    {BITMAP_TRANSFER_NO_CHOICE, 90, "Transfer", BLUE, Face::NoChoice},
    {BITMAP_DELETE_NO_CHOICE, 90, "Delete", BLUE, Face::NoChoice},
    {BITMAP_DELETE_UP, 90, "Delete", BLUE, Face::Up},
    {BITMAP_DELETE_PRESSED, 90, "Delete", BLUE, Face::Pressed},
    {BITMAP_SAVE_NO_CHOICE, 80, "Save...", GREEN, Face::NoChoice},
    {BITMAP_SAVE_UP, 80, "Save...", GREEN, Face::Up},
    {BITMAP_SAVE_PRESSED, 80, "Save...", GREEN, Face::Pressed},
    // The Live image window's two buttons.
    {BITMAP_CANCEL, 100, "Cancel", DARK_RED, Face::Up, 30},
    {BITMAP_CANCEL_PRESSED, 100, "Cancel", DARK_RED, Face::Pressed, 30},
    {BITMAP_PREVIEW_OFF, 100, "Preview", WHITE, Face::Up, 31, LIVE_BLUE},
    {BITMAP_PREVIEW_ON, 100, "Preview", WHITE, Face::Pressed, 31, LIVE_RED},
    {BITMAP_CAPTURE, 100, "Capture", BLACK, Face::Up, 30},
    {BITMAP_CAPTURE_PRESSED, 100, "Capture", BLACK, Face::Pressed, 30},
};

}  // namespace

QPixmap ButtonBitmap(int number) {
    for (const BitmapRecord& record : BITMAPS) {
        if (record.number != number) {
            continue;
        }
        QPixmap pixmap(record.width, record.height);
        pixmap.fill(QColor(record.faceColour));
        QPainter painter(&pixmap);
        const int right = record.width - 1;
        const int bottom = record.height - 1;
        const bool pressed = record.face == Face::Pressed;
        // Raised: light top and left, dark bottom and right; pressed the other way round.
        painter.setPen(QColor(pressed ? DARK : LIGHT));
        painter.drawLine(0, 0, right, 0);
        painter.drawLine(0, 0, 0, bottom);
        painter.setPen(QColor(pressed ? LIGHT : DARK));
        painter.drawLine(0, bottom, right, bottom);
        painter.drawLine(right, 0, right, bottom);
        painter.setPen(QColor(SHADOW));
        if (pressed) {
            painter.drawLine(1, 1, right - 1, 1);
            painter.drawLine(1, 1, 1, bottom - 1);
        } else {
            painter.drawLine(1, bottom - 1, right - 1, bottom - 1);
            painter.drawLine(right - 1, 1, right - 1, bottom - 1);
        }

        QFont font(QStringLiteral("Arial"));
        font.setPixelSize(15);
        font.setBold(true);
        painter.setFont(font);
        const QString caption = QString::fromLatin1(record.caption);
        const QRect area(0, 0, record.width, record.height);
        switch (record.face) {
            case Face::Up:
                painter.setPen(QColor(record.captionColour));
                painter.drawText(area, Qt::AlignCenter, caption);
                break;
            case Face::Pressed:
                painter.setPen(QColor(DARK));
                painter.drawText(area.translated(3, 3), Qt::AlignCenter, caption);
                painter.setPen(QColor(record.captionColour));
                painter.drawText(area.translated(1, 1), Qt::AlignCenter, caption);
                break;
            case Face::NoChoice:
                painter.setPen(QColor(LIGHT));
                painter.drawText(area.translated(1, 1), Qt::AlignCenter, caption);
                painter.setPen(QColor(SHADOW));
                painter.drawText(area, Qt::AlignCenter, caption);
                break;
        }
        return pixmap;
    }
    return {};
}

PictureButtonWidget::PictureButtonWidget(QWidget* parent, int id, const Rect& rect)
    : QAbstractButton(parent), id_(id) {
    setObjectName(QStringLiteral("button%1").arg(id));
    setGeometry(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    setText(QStringLiteral("NULL"));
    setFocusPolicy(Qt::NoFocus);
    // The state changes reach the program as the owner-draw notification of a selection.
    connect(this, &QAbstractButton::pressed, this, [this] {
        if (drawItem) {
            drawItem(id_, ODS_SELECTED, ODA_SELECT);
        }
        update();
    });
    connect(this, &QAbstractButton::released, this, [this] {
        if (drawItem) {
            drawItem(id_, 0, ODA_SELECT);
        }
        update();
    });
}

void PictureButtonWidget::paintEvent(QPaintEvent*) {
    shown_ = bitmapFor ? bitmapFor(id_, isDown()) : 0;
    QPainter painter(this);
    painter.drawPixmap(0, 0, ButtonBitmap(shown_), 0, 0, width(), height());
}

}  // namespace fotolyx::gui
