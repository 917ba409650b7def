#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/program.h"
#include "host/signal_pipe.h"
#include "ports/free_space.h"
#include "ports/local_clock.h"
#include "ports/memory.h"
#include "ports/serial_line.h"
#include "ports/shell.h"
#include "ports/timers.h"

namespace fotolyx::cli {

// A shell without windows: menus, windows, scroll bars and the clipboard are not shown.
class WindowlessShell : public Shell {
  public:
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
};

// Message boxes go to stderr as "CAPTION: text" and are answered with the default button.
class TerminalShell final : public WindowlessShell {
  public:
    int MessageBox(std::string_view text, std::string_view caption, unsigned style) override;
    void SetStatusText(std::string_view text) override;
    // There is no one to ask: answers with nextSaveAnswer (once), else cancels.
    std::optional<SaveDialogResult> GetSaveFileName(const SaveDialogRequest& request) override;

    std::optional<SaveDialogResult> nextSaveAnswer;
    void ShowLinkDialog(LinkDialog dialog) override;
    void EndLinkDialog(LinkDialog) override {}
    void EnableMdiClient(bool) override {}
    void ShowHelpContext(int) override {}
};

// The title and main text of a link dialog, as a terminal shows it.
std::string LinkDialogText(LinkDialog dialog);

class SystemClock final : public LocalClock {
  public:
    LocalTime Now() const override;
};

// File commands need no timers and no line.
class NoTimers final : public Timers {
  public:
    void StartTimer(WindowId, int, int) override {}
    void KillTimer(WindowId, int) override {}
};

class NoLine final : public SerialLine {
  public:
    LineOpenResult Open(int) override { return LineOpenResult::Missing; }
    void Close() override {}
    bool IsOpen() const override { return false; }
    void Write(std::span<const std::uint8_t>) override {}
    std::size_t Read(std::span<std::uint8_t>) override { return 0; }
    bool SetBaudRate(std::uint32_t) override { return false; }
    void Purge() override {}
};

// Everything a command may use; one per run.
struct Context {
    // Ctrl-C, SIGTERM and SIGHUP: set up by main for the whole run; a command that waits for
    // the camera watches it and ends in order.
    host::SignalPipe* signals = nullptr;
    TerminalShell shell;
    SystemClock clock;
    NoTimers timers;
    NoLine line;
    Memory memory;
    SystemFreeSpace freeSpace;
    std::string logPath;       // --log: the line's trace goes there
    std::string settingsFile;  // --settings; empty: $FOTOLYX_SETTINGS, else the usual place

    // The running process's environment with the settings file the user named.
    HostEnvironment Environment() const;
};

using Arguments = std::vector<std::string>;

// The exit statuses of fotolyx-cli (listed in its --help).
inline constexpr int EXIT_DONE = 0;
inline constexpr int EXIT_FAILED = 1;          // the reason is printed
inline constexpr int EXIT_USAGE = 2;           // bad command line
inline constexpr int EXIT_CAMERA_REFUSED = 3;  // the camera answered: VCR mode, no card, model

// One command of the table in main.cpp. Returns the process exit status.
struct Command {
    const char* name;
    const char* usage;
    const char* summary;
    int (*run)(Context& context, const Arguments& arguments);
};

// The whole command line without the program name: options, command, its arguments. Returns
// the process exit status; with signals (the process's own, set up by main), 128 + the
// signal when an ending signal stopped the command.
int RunCommandLine(Arguments arguments, host::SignalPipe* signals = nullptr);

int RunSettings(Context& context, const Arguments& arguments);
int RunConvert(Context& context, const Arguments& arguments);
int RunExif(Context& context, const Arguments& arguments);
int RunAdjust(Context& context, const Arguments& arguments);
int RunInfo(Context& context, const Arguments& arguments);
int RunList(Context& context, const Arguments& arguments);
int RunGet(Context& context, const Arguments& arguments);
int RunThumbs(Context& context, const Arguments& arguments);
int RunRm(Context& context, const Arguments& arguments);
int RunLive(Context& context, const Arguments& arguments);
int RunPhoto(Context& context, const Arguments& arguments);
int RunPut(Context& context, const Arguments& arguments);

}  // namespace fotolyx::cli
