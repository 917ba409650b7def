#pragma once

#include <QDialog>
#include <QWidget>
#include <array>
#include <optional>

#include "adjust/adjust_dialog.h"
#include "app/program.h"

class QLabel;
class QPushButton;
class QRadioButton;
class QScrollBar;
class QGroupBox;

namespace fotolyx::gui {

// Image Adjustment (40016) of a picture window: the modal IMAGE_ADJUST dialog over the given
// picture (none: the dialog shows empty grey previews). Applied when OK wrote the adjusted
// picture into it; the window then marks itself modified and repaints. On an 8-bit screen an
// applied adjustment also rebuilds the image and screen palettes and the window's own palette
// when windowPalette is given; without it the caller rebuilds them (the Openfile window does so
// when told that its picture changed).
AdjustDialogEnd RunImageAdjustment(QWidget* owner, Program& program, DibBlock* picture,
                                   std::optional<LogPalette>* windowPalette = nullptr);

// The dialog itself. Every control forwards to AdjustDialog and is then redrawn from its state;
// the previews are painted at (10, g + 40) and (190, g + 40), g being the height of the
// "Degree of Adjusting" group. Controls are named "control<id>".
class ImageAdjustDialog final : public QDialog {
  public:
    ImageAdjustDialog(QWidget* owner, AdjustDialog& logic, const DisplayState& display);

    AdjustDialogEnd End() const { return end_; }
    // The top of the two preview frames' group: g.
    int GroupHeight() const;

    void done(int result) override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void Scrolled(int index, int action);
    void ThumbReleased(int index);
    void Forward(int command);
    void ShowState();

    AdjustDialog& logic_;
    const DisplayState& display_;
    AdjustDialogEnd end_ = AdjustDialogEnd::Open;
    QGroupBox* degree_ = nullptr;
    std::array<QScrollBar*, ADJUST_SETTING_COUNT> bars_{};
    std::array<QLabel*, ADJUST_SETTING_COUNT> values_{};
    QRadioButton* manual_ = nullptr;
    QRadioButton* automatic_ = nullptr;
    QPushButton* revert_ = nullptr;
};

}  // namespace fotolyx::gui
