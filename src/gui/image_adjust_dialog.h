#pragma once

#include <QWidget>

#include "adjust/adjust_dialog.h"
#include "app/program.h"

namespace fotolyx::gui {

// Image Adjustment (40016) of a picture window: the modal IMAGE_ADJUST dialog over the given
// picture (none: the dialog shows empty grey previews). Applied when OK wrote the adjusted
// picture into it; the window then marks itself modified and repaints.
AdjustDialogEnd RunImageAdjustment(QWidget* owner, Program& program, DibBlock* picture);

}  // namespace fotolyx::gui
