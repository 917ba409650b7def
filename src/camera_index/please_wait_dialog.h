#pragma once

#include <optional>

#include "ports/shell.h"

namespace fotolyx {

// The program's one please-wait dialog: DATA_TRANS of a download or an upload, or PERASEPROC
// of a deletion. Kept in one place so that Reload and Reconnect close whichever is open.
class PleaseWaitDialog {
  public:
    explicit PleaseWaitDialog(Shell& shell) : shell_(shell) {}

    void Show(PleaseWait dialog);
    // Closes the dialog when one is open.
    void End();
    // The user closed a dialog (OK, Cancel or Esc): it is no longer open.
    void Closed(PleaseWait dialog);
    std::optional<PleaseWait> Current() const { return open_; }

  private:
    Shell& shell_;
    std::optional<PleaseWait> open_;
};

}  // namespace fotolyx
