#pragma once

#include <QCheckBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QWidget>

#include "app/program.h"
#include "windows/open_preview.h"

namespace fotolyx::gui {

inline constexpr char OPEN_DIALOG_TITLE[] = "Open";
inline constexpr char OPEN_FILTER_JPEG_TEXT[] = "JPEG (*.JPG)";
inline constexpr char OPEN_FILTER_BMP_TEXT[] = "Bitmap (*.BMP)";
inline constexpr int PREVIEW_CHECK_BOX = 1006;
inline constexpr int WIDTH_FIELD = 1031;
inline constexpr int HEIGHT_FIELD = 1032;

// The extra part of the Open dialog: the Preview box, the preview frame with the picture
// fitted into it, and the "Image size (pixels)" group with its two read-only fields. It
// paints in its own client pixels, where the frame runs from (10, 30) to (150, 170).
class OpenPreviewPart final : public QWidget {
  public:
    OpenPreviewPart(OpenPreview& preview, const DisplayState& display, QWidget* parent);

    QCheckBox* PreviewBox() const { return previewBox_; }
    QLineEdit* WidthField() const { return width_; }
    QLineEdit* HeightField() const { return height_; }
    // The fields show what the preview read.
    void ShowSize();

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    OpenPreview& preview_;
    const DisplayState& display_;
    QCheckBox* previewBox_;
    QLineEdit* width_;
    QLineEdit* height_;
};

// The Open dialog (non-native, so that it can carry the extra part): the two file types, the
// initial folder, and the preview told of every change of the current file.
class OpenFileDialog final : public QFileDialog {
  public:
    OpenFileDialog(QWidget* owner, OpenPreview& preview, const DisplayState& display,
                   const QString& folder, int filterIndex);

    // The chosen file type: 1 JPEG, 2 Bitmap.
    int FilterIndex() const;
    // The chosen file as the file system names it.
    std::string ChosenPath() const;
    OpenPreviewPart* ExtraPart() const { return part_; }
    // What the user does to open a file: picks the file type, selects the file, presses Open.
    void Choose(const QString& path, int filterIndex);

  private:
    OpenPreview& preview_;
    OpenPreviewPart* part_;
    QString current_;
};

// The Open command (40001): the dialog, then the chosen file in a new Openfile window. True
// when a window was created.
bool RunOpenCommand(QWidget* owner, Program& program);

}  // namespace fotolyx::gui
