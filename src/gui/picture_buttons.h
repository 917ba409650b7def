#pragma once

#include <QAbstractButton>
#include <QPixmap>
#include <functional>

#include "ports/shell.h"

namespace fotolyx::gui {

// Bitmap numbers of the Preview window's three picture buttons.
inline constexpr int BITMAP_TRANSFER_UP = 120;
inline constexpr int BITMAP_TRANSFER_PRESSED = 121;
inline constexpr int BITMAP_TRANSFER_NO_CHOICE = 122;
inline constexpr int BITMAP_DELETE_NO_CHOICE = 123;
inline constexpr int BITMAP_DELETE_UP = 124;
inline constexpr int BITMAP_DELETE_PRESSED = 125;
inline constexpr int BITMAP_SAVE_NO_CHOICE = 126;
inline constexpr int BITMAP_SAVE_UP = 127;
inline constexpr int BITMAP_SAVE_PRESSED = 128;

// Draws one of the bitmaps 120..128 (a light grey raised button face with its caption) or of the
// Live image window's 105..110 (the same looks; "Preview" on blue, and on red when pressed); a
// null pixmap for any other number.
QPixmap ButtonBitmap(int number);

// An owner-drawn picture button. Pressing and releasing it are told to drawItem (the item
// state and the draw action, as the platform's owner-draw notification has them), which
// answers with the bitmap to show and may send the button's command; a plain repaint asks
// bitmapFor, which has no side effects.
class PictureButtonWidget final : public QAbstractButton {
  public:
    // Named "button<id>" and placed at rect in its parent.
    PictureButtonWidget(QWidget* parent, int id, const Rect& rect);

    std::function<int(int id, unsigned itemState, unsigned itemAction)> drawItem;
    std::function<int(int id, bool pressed)> bitmapFor;
    int ShownBitmap() const { return shown_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    QSize sizeHint() const override { return size(); }

  private:
    int id_;
    int shown_ = 0;
};

}  // namespace fotolyx::gui
