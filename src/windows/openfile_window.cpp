#include "windows/openfile_window.h"

namespace fotolyx {

std::string SaveChangesQuestion(const std::string& title) {
    const std::string_view format = SAVE_CHANGES_FORMAT;
    const std::size_t at = format.find("%s");
    std::string text(format.substr(0, at));
    text += title;
    text += format.substr(at + 2);
    return text;
}

void OpenfileWindow::Command(int id) {
    switch (id) {
        case CMD_SAVE_AS:
            SaveAs();
            return;
        case CMD_DATA_OUT_FINE:
        case CMD_DATA_OUT_NORMAL:
            if (ports_.upload) {
                ports_.upload(id_, id, picture_);
            }
            return;
        default:
            return;
    }
}

void OpenfileWindow::Timer(int id) {
    if (ports_.uploadTimer) {
        ports_.uploadTimer(id_, id);
    }
}

bool OpenfileWindow::Close() {
    if (modified_ && ports_.shell.MessageBox(SaveChangesQuestion(title_), CAPTION_FOTOLYX,
                                             MB_YESNO | MB_ICONQUESTION) == IDYES) {
        SaveAs();
    }
    return true;
}

void OpenfileWindow::SaveAs() {
    if (!ports_.saveContext) {
        return;
    }
    SaveContext context = ports_.saveContext();
    lastSave_ = SaveAsFlow(context, SaveWindowKind::Openfile, picture_,
                           ProposeTimeName(context.clock.Now()));
    if (lastSave_.windowTitle) {
        title_ = *lastSave_.windowTitle;
        ports_.shell.SetWindowTitle(id_, title_);
    }
}

}  // namespace fotolyx
