#pragma once

#include <QString>
#include <QWidget>
#include <optional>
#include <string>

#include "ports/shell.h"

namespace fotolyx::gui {

// The object name of the save dialog while it is open.
inline constexpr char SAVE_DIALOG_NAME[] = "saveDialog";

// The name filter shown for one file type of a request: the description itself when it already
// names its pattern in brackets ("JPEG (*.JPG)"), else "description (pattern)".
QString NameFilterOf(const std::string& description, const std::string& pattern);

// The extension a name typed without one gets for a file type (1-based): the type's own
// ("*.jpg" gives "jpg"), or the request's default extension when the pattern names none.
QString ExtensionFor(const SaveDialogRequest& request, int filterIndex);

// The save dialog: Qt's own file dialog, the same on every desktop. It offers the request's file
// types with the one chosen last selected, opens in the request's folder with the proposed name
// filled in, takes a new name (nothing has to exist yet), adds the chosen type's extension to a
// name typed without one and asks before replacing a file when the flags say so. Returns the
// path and the chosen type, or none when cancelled.
std::optional<SaveDialogResult> RunSaveDialog(QWidget* owner, const SaveDialogRequest& request);

}  // namespace fotolyx::gui
