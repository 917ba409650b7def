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
    void EnableMenuItem(MenuBar, int, bool) override {}
    void SetFrameMenu(MenuBar) override {}
    void CreateChildWindow(const ChildWindowRequest&) override {}
    void ActivateChildWindow(WindowId) override {}
    void SetWindowTitle(WindowId, std::string_view) override {}
    void DestroyChildWindow(WindowId) override {}
    void InvalidateWindow(WindowId, std::optional<Rect>, bool) override {}
    void ScrollWindowContent(WindowId, int, int) override {}
    void SetScrollBar(WindowId, ScrollBarKind, const ScrollBarState&) override {}
    void ShowPleaseWait(PleaseWait) override {}
    void EndPleaseWait(PleaseWait) override {}
    void ShowProgressBar(bool) override {}
    void SetProgressRange(int) override {}
    void SetProgressPos(int) override {}
    bool SetClipboardDib(std::vector<std::uint8_t>) override { return false; }

    SaveDialogResult saveAnswer;
    bool failed = false;
};

}  // namespace fotolyx
