#include "gui/image_adjust_dialog.h"

namespace fotolyx::gui {

AdjustDialogEnd RunImageAdjustment(QWidget* owner, Program& program, DibBlock* picture) {
    (void)owner;
    (void)program;
    (void)picture;
    return AdjustDialogEnd::Closed;
}

}  // namespace fotolyx::gui
