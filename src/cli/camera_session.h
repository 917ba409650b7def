#pragma once

#include <array>
#include <chrono>
#include <fstream>
#include <functional>
#include <iosfwd>
#include <optional>
#include <set>
#include <string>

#include "app/program.h"
#include "cli/cli.h"
#include "link/line_trace.h"
#include "link/poll_loop.h"
#include "link/termios_line.h"

namespace fotolyx::cli {

inline constexpr std::array<int, 4> PORT_IDS = {PORT_COM1, PORT_COM2, PORT_COM3, PORT_COM4};

// The camera commands' shell: message boxes and link dialogs go to stderr; a link dialog, or a
// message other than a port setting fault, a camera notice or a question, marks the command
// failed. Questions are answered as told; the save dialog by `saveAnswer`.
class CameraShell final : public WindowlessShell {
  public:
    int MessageBox(std::string_view text, std::string_view caption, unsigned style) override;
    void SetStatusText(std::string_view) override {}
    std::optional<SaveDialogResult> GetSaveFileName(const SaveDialogRequest& request) override;
    void ShowLinkDialog(LinkDialog dialog) override;
    void EndLinkDialog(LinkDialog) override {}
    void EnableMdiClient(bool) override {}
    void ShowHelpContext(int) override {}
    void ShowPleaseWait(PleaseWait dialog) override { pleaseWait = dialog; }
    void EndPleaseWait(PleaseWait) override { pleaseWait.reset(); }
    void ShowProgressBar(bool shown) override;
    void SetProgressRange(int max) override { progressMax = max; }
    void SetProgressPos(int pos) override;
    // There is no display: a window is painted once the handler that invalidated it is done.
    void InvalidateWindow(WindowId window, std::optional<Rect>, bool) override {
        pendingPaints.insert(window);
    }

    bool answerQuestions = false;  // OK/Yes to confirmations (else Cancel/No)
    std::function<std::optional<SaveDialogResult>(const SaveDialogRequest&)> saveAnswer;
    bool failed = false;
    bool scanFailed = false;  // no port had a camera
    // The camera answered with a warning (VCR mode, no card, another model): its text.
    std::optional<std::string> cameraWarning;
    std::optional<PleaseWait> pleaseWait;
    bool showProgress = false;  // a progress bar on the terminal
    int progressMax = 0;
    bool progressVisible = false;
    std::set<WindowId> pendingPaints;
};

// The termios line, remembering how each port's opening went.
class RecordingLine final : public SerialLine {
  public:
    explicit RecordingLine(PortMap map) : line(std::move(map)) {}

    LineOpenResult Open(int portId) override;
    void Close() override { line.Close(); }
    bool IsOpen() const override { return line.IsOpen(); }
    void Write(std::span<const std::uint8_t> bytes) override { line.Write(bytes); }
    std::size_t Read(std::span<std::uint8_t> buffer) override { return line.Read(buffer); }
    bool SetBaudRate(std::uint32_t baud) override { return line.SetBaudRate(baud); }
    void Purge() override { line.Purge(); }
    LineSettingsFault OpenSettingsFault() const override { return line.OpenSettingsFault(); }
    std::string DeviceName(int portId) const override { return line.DeviceName(portId); }

    TermiosLine line;
    std::array<std::optional<LineOpenResult>, 4> results;
};

// Reads the --port options of a camera command; the other arguments are left in `rest`.
// False (with a message) on a malformed --port.
bool ParsePortOptions(const char* command, const Arguments& arguments, PortMap& map,
                      Arguments& rest);

// How the opening of each port tried went, one line each; answered names the port the camera
// answered on.
void ReportPorts(const RecordingLine& line, std::ostream& out, std::optional<int> answered);

// One run of the program against the camera, for the camera commands: start-up, the set-up
// (scanning COM1..COM4 unless --port says otherwise) and the picture index, on a PollLoop.
class CameraSession {
  public:
    // Ports not given in map are filled as the window program fills them.
    CameraSession(Context& context, const PortMap& map);
    ~CameraSession();
    CameraSession(const CameraSession&) = delete;
    CameraSession& operator=(const CameraSession&) = delete;

    // Start-up and set-up; true when the camera is in photo mode and the index was asked for.
    bool Connect();
    // The exit status of a command that failed in this session: the camera's refusal, or a
    // plain failure.
    int FailureStatus() const;
    // Connect, then the whole index; true when it is loaded.
    bool LoadIndex();
    // Runs the program until done() holds; false on a failure or when limit passes first.
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);
    // Selects positions in the Preview as clicks would: the first plainly, the others with
    // Ctrl; `last` is clicked last.
    void Select(const std::vector<unsigned>& positions, unsigned last);

    // An ending signal arrived: the command stops waiting and the session ends in order.
    bool Interrupted() const { return interrupted_; }

    Program& program() { return program_; }
    CameraShell shell;
    RecordingLine line;

  private:
    void ReportFailure(bool timedOut);

    std::ofstream traceFile_;
    TracingLine tracing_;
    PollLoop loop_;
    Program program_;
    bool interrupted_ = false;
};

}  // namespace fotolyx::cli
