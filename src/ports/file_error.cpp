#include "ports/file_error.h"

#include "ports/messages.h"
#include "ports/shell.h"

namespace fotolyx {

void ReportFileError(Shell& shell, int code) {
    if (code >= 0 && code <= 46) {
        return;
    }
    shell.MessageBox(CAPTION_ERROR, CAPTION_FOTOLYX, MB_TASKMODAL | MB_ICONHAND);
}

}  // namespace fotolyx
