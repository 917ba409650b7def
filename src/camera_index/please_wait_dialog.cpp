#include "camera_index/please_wait_dialog.h"

namespace fotolyx {

void PleaseWaitDialog::Show(PleaseWait dialog) {
    open_ = dialog;
    shell_.ShowPleaseWait(dialog);
}

void PleaseWaitDialog::End() {
    if (open_) {
        const PleaseWait dialog = *open_;
        open_.reset();
        shell_.EndPleaseWait(dialog);
    }
}

void PleaseWaitDialog::Closed(PleaseWait dialog) {
    if (open_ == dialog) {
        open_.reset();
    }
}

}  // namespace fotolyx
