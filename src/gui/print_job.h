#pragma once

#include <QString>
#include <QWidget>

#include "imaging/dib_block.h"

namespace fotolyx::gui {

// Print (40017) of a picture window: the print dialog, then the picture on one page. 1 when the
// print dialog was cancelled, 0 otherwise.
int PrintPicture(QWidget* owner, const QString& title, const DibBlock& picture);

}  // namespace fotolyx::gui
