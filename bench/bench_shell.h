#pragma once

#include <cstdio>
#include <optional>
#include <string_view>

#include "ports/shell.h"

namespace fotolyx {

// The benchmarks' Shell: a message box or a link dialog means the measured job failed; it is
// printed and remembered. Save dialogs are answered with `saveAnswer`.
class BenchShell final : public Shell {
  public:
    int MessageBox(std::string_view text, std::string_view caption, unsigned) override {
        std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(caption.size()), caption.data(),
                     static_cast<int>(text.size()), text.data());
        failed = true;
        return IDOK;
    }
    void SetStatusText(std::string_view) override {}
    std::optional<SaveDialogResult> GetSaveFileName(const SaveDialogRequest&) override {
        return saveAnswer;
    }
    void ShowLinkDialog(LinkDialog) override { failed = true; }
    void EndLinkDialog(LinkDialog) override {}
    void EnableMdiClient(bool) override {}
    void ShowHelpContext(int) override {}
    void InvalidateRect(WindowId, std::optional<WindowRect>, bool) override {}
    void EnableMenuItem(int, bool) override {}
    void ChildWindowCreated(WindowId, ChildWindowKind, std::string_view) override {}

    SaveDialogResult saveAnswer;
    bool failed = false;
};

}  // namespace fotolyx
