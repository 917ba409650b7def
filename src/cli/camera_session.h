#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "app/program.h"
#include "cli/cli.h"
#include "link/poll_loop.h"
#include "link/termios_line.h"

namespace fotolyx::cli {

// The camera commands' Shell: message boxes and link dialogs go to stderr and end the command
// (a port setting fault is reported and the set-up goes on); a window invalidated is painted
// once the current handler is done; the save dialog is answered with saveAnswer.
class CameraShell final : public WindowlessShell {
  public:
    int MessageBox(std::string_view text, std::string_view caption, unsigned style) override;
    void SetStatusText(std::string_view) override {}
    std::optional<SaveDialogResult> GetSaveFileName(const SaveDialogRequest&) override {
        return std::exchange(saveAnswer, std::nullopt);
    }
    void ShowLinkDialog(LinkDialog dialog) override;
    void EndLinkDialog(LinkDialog) override {}
    void EnableMdiClient(bool) override {}
    void ShowHelpContext(int) override {}
    // There is no display: a window is painted once the current handler is done.
    void InvalidateWindow(WindowId window, std::optional<Rect>, bool) override {
        pendingPaints.insert(window);
    }

    std::optional<SaveDialogResult> saveAnswer;
    std::set<WindowId> pendingPaints;
    bool failed = false;
    // Answers to questions (OK/Cancel, Yes/No): the positive one unless told otherwise.
    bool answerYes = true;
};

// One program run against a camera for the camera commands: start-up, the link set-up over
// the termios line and a poll loop, then the command's own steps, then shutdown.
class CameraSession {
  public:
    CameraSession(Context& context, PortMap map);
    ~CameraSession();
    CameraSession(const CameraSession&) = delete;
    CameraSession& operator=(const CameraSession&) = delete;

    // Runs the start-up, the set-up and the index transfer; false (after the message) when no
    // camera is ready.
    bool Connect(std::chrono::milliseconds limit = std::chrono::seconds(30));
    // Runs the loop, painting what was invalidated, until done() holds (true), something
    // failed or the limit passed (false, with a message for the limit).
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);

    Program& program() { return program_; }
    CameraShell& shell() { return shell_; }

  private:
    CameraShell shell_;
    PollLoop loop_;
    TermiosLine line_;
    Program program_;
};

// Reads "--port COMn=PATH" options into map; other arguments are left in rest. False after a
// message for a malformed port option.
bool TakePortOptions(const std::string& command, const Arguments& arguments, PortMap& map,
                     Arguments& rest);

}  // namespace fotolyx::cli
