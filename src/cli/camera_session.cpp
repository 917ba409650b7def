#include "cli/camera_session.h"

#include <unistd.h>

#include <algorithm>
#include <iostream>
#include <utility>

#include "link/link_setup.h"
#include "link/port_slots.h"

namespace fotolyx::cli {

namespace {

constexpr auto SETUP_LIMIT = std::chrono::seconds(30);
constexpr auto INDEX_LIMIT = std::chrono::minutes(20);
constexpr int PROGRESS_WIDTH = 40;

}  // namespace

void ReportPorts(const RecordingLine& line, std::ostream& out, std::optional<int> answered) {
    for (std::size_t i = 0; i < PORT_IDS.size(); ++i) {
        if (!line.results[i]) {
            continue;
        }
        const std::string where = std::string(PortName(PORT_IDS[i])) + " (" +
                                  line.line.map().PathOf(PORT_IDS[i]).value_or("") + "): ";
        if (answered == PORT_IDS[i]) {
            out << where << "the camera answered\n";
            continue;
        }
        switch (*line.results[i]) {
            case LineOpenResult::Opened:
                out << where << "opened, no camera answered\n";
                break;
            case LineOpenResult::Missing:
                out << where << "no such device\n";
                break;
            case LineOpenResult::PermissionDenied:
                out << where
                    << "permission denied (join the dialout group: sudo adduser $USER dialout, "
                       "then log in again)\n";
                break;
            case LineOpenResult::Failed:
                out << where << "cannot be opened (in use?)\n";
                break;
        }
    }
}

int CameraShell::MessageBox(std::string_view text, std::string_view caption, unsigned style) {
    if (progressVisible) {
        std::cerr << '\n';
        progressVisible = false;
    }
    std::cerr << caption << ": " << text << '\n';
    const unsigned buttons = style & 0x000F;
    const bool question = buttons == MB_OKCANCEL || buttons == MB_YESNO;
    // Port setting faults are reported and the set-up goes on; an empty card is no failure.
    if (!question && caption != CAPTION_COM_PORT_ERROR && caption != CAPTION_VISTACAM_INFO) {
        failed = true;
    }
    // The camera's warnings (VCR mode, no card, another model) end the command at once: nobody
    // is there to switch the camera over.
    if (caption == CAPTION_WARNING) {
        failed = true;
        cameraWarning = std::string(text);
    }
    if (buttons == MB_OKCANCEL) {
        return answerQuestions ? IDOK : IDCANCEL;
    }
    if (buttons == MB_YESNO || buttons == MB_YESNOCANCEL) {
        return answerQuestions ? IDYES : IDNO;
    }
    return IDOK;
}

std::optional<SaveDialogResult> CameraShell::GetSaveFileName(const SaveDialogRequest& request) {
    return saveAnswer ? saveAnswer(request) : std::nullopt;
}

void CameraShell::ShowLinkDialog(LinkDialog dialog) {
    std::cerr << LinkDialogText(dialog) << '\n';
    failed = true;
    scanFailed = scanFailed || dialog == LinkDialog::ComReconnect;
}

void CameraShell::ShowProgressBar(bool shown) {
    if (!shown && progressVisible) {
        std::cerr << '\n';
    }
    progressVisible = shown && showProgress;
}

void CameraShell::SetProgressPos(int pos) {
    if (!progressVisible || progressMax <= 0) {
        return;
    }
    const int filled = static_cast<int>(static_cast<long long>(pos) * PROGRESS_WIDTH / progressMax);
    std::cerr << "\r[" << std::string(static_cast<std::size_t>(filled), '#')
              << std::string(static_cast<std::size_t>(PROGRESS_WIDTH - filled), ' ') << "] "
              << static_cast<long long>(pos) * 100 / progressMax << "%" << std::flush;
}

LineOpenResult RecordingLine::Open(int portId) {
    const LineOpenResult result = line.Open(portId);
    for (std::size_t i = 0; i < PORT_IDS.size(); ++i) {
        if (PORT_IDS[i] == portId) {
            results[i] = result;
        }
    }
    return result;
}

bool ParsePortOptions(const char* command, const Arguments& arguments, PortMap& map,
                      Arguments& rest) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] != "--port") {
            rest.push_back(arguments[i]);
            continue;
        }
        if (i + 1 >= arguments.size() || !map.Parse(arguments[i + 1])) {
            std::cerr << "fotolyx-cli " << command << ": bad --port (expected --port COMn=PATH)\n";
            return false;
        }
        ++i;
    }
    return true;
}

CameraSession::CameraSession(Context& context, const PortMap& map)
    : line(PortsForRun(map, context.Environment())),
      traceFile_(context.logPath.empty() ? std::ofstream() : std::ofstream(context.logPath)),
      tracing_(line, context.logPath.empty() ? nullptr : &traceFile_),
      program_(Ports{shell, loop_, tracing_, context.clock, context.memory, context.freeSpace},
               context.Environment()) {
    shell.showProgress = ::isatty(STDERR_FILENO) != 0;
    if (!context.logPath.empty() && !traceFile_) {
        std::cerr << "fotolyx-cli: cannot write the trace " << context.logPath << '\n';
        shell.failed = true;
    }
    loop_.onTimer = [this](WindowId window, int id) { program_.TimerFired(window, id); };
    loop_.watchedFd = [this] {
        return program_.receiver.Watching() ? line.line.FileDescriptor() : -1;
    };
    loop_.onReadable = [this] { program_.receiver.OnReadable(); };
    loop_.onHangUp = [this] { program_.receiver.OnHangUp(); };
    if (context.signals != nullptr && context.signals->Ready()) {
        host::SignalPipe* signals = context.signals;
        loop_.wakeFd = [signals] { return signals->ReadFd(); };
        loop_.onWake = [this, signals] {
            if (signals->Take() != 0) {
                interrupted_ = true;
            }
        };
    }
}

CameraSession::~CameraSession() {
    program_.Shutdown();
}

int CameraSession::FailureStatus() const {
    return shell.cameraWarning ? EXIT_CAMERA_REFUSED : EXIT_FAILED;
}

void CameraSession::ReportFailure(bool timedOut) {
    if (shell.cameraWarning) {
        const int port = program_.link.SelectedPort;
        std::string said = *shell.cameraWarning;
        std::replace(said.begin(), said.end(), '\n', ' ');
        std::cerr << PortName(port) << " (" << line.line.map().PathOf(port).value_or("")
                  << "): the camera answered:" << (said.front() == ' ' ? "" : " ") << said << '\n';
        return;
    }
    if (timedOut) {
        std::cerr << "No answer from the camera in time.\n";
    }
    if (timedOut || shell.scanFailed) {
        ReportPorts(line, std::cerr, std::nullopt);
    }
}

bool CameraSession::Connect() {
    program_.Startup();
    const bool finished = loop_.RunUntil(
        [&] { return program_.link.SetupPhase == 0 || shell.failed || interrupted_; }, SETUP_LIMIT);
    if (interrupted_) {
        return false;
    }
    if (!finished || shell.failed) {
        ReportFailure(!finished);
        return false;
    }
    return true;
}

bool CameraSession::LoadIndex() {
    if (!Connect()) {
        return false;
    }
    return RunUntil([&] { return program_.indexTransfer.index.IndexLoaded; }, INDEX_LIMIT);
}

bool CameraSession::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = PollLoop::Clock::now() + limit;
    for (;;) {
        if (shell.failed || interrupted_) {
            return false;
        }
        if (done()) {
            return true;
        }
        // Paints come after the handlers that asked for them, as a message queue has them.
        if (!shell.pendingPaints.empty()) {
            const std::set<WindowId> paints = std::exchange(shell.pendingPaints, {});
            for (const WindowId window : paints) {
                program_.PaintWindow(window);
            }
            continue;
        }
        const auto now = PollLoop::Clock::now();
        if (now >= end) {
            std::cerr << "No answer from the camera in time.\n";
            return false;
        }
        loop_.RunOnce(std::min(std::chrono::ceil<std::chrono::milliseconds>(end - now),
                               std::chrono::milliseconds(1000)));
    }
}

void CameraSession::Select(const std::vector<unsigned>& positions, unsigned last) {
    PreviewWindow& preview = program_.previewWindow;
    auto click = [&](unsigned position, unsigned keys) {
        const int row = static_cast<int>(position / GRID_COLUMNS);
        preview.VScroll(SB_THUMBTRACK, row);
        const int inView = row - program_.indexTransfer.selection.TopRow;
        preview.LButtonDown(70 + 140 * static_cast<int>(position % GRID_COLUMNS),
                            105 + 130 * inView, keys);
    };
    bool first = true;
    for (unsigned position : positions) {
        if (position == last) {
            continue;
        }
        click(position, first ? 0 : MK_CONTROL);
        first = false;
    }
    click(last, first ? 0 : MK_CONTROL);
}

}  // namespace fotolyx::cli
