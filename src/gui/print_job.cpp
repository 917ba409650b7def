#include "gui/print_job.h"

namespace fotolyx::gui {

int PrintPicture(QWidget* owner, const QString& title, const DibBlock& picture) {
    (void)owner;
    (void)title;
    (void)picture;
    return 1;
}

}  // namespace fotolyx::gui
