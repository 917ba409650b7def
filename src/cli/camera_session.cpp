#include "cli/camera_session.h"

#include <iostream>

#include "link/link_setup.h"

namespace fotolyx::cli {

int CameraShell::MessageBox(std::string_view text, std::string_view caption, unsigned style) {
    std::cerr << caption << ": " << text << '\n';
    // Port setting faults are reported and the set-up goes on; an empty card is no failure.
    if (caption != CAPTION_COM_PORT_ERROR && text != TEXT_NO_IMAGES) {
        failed = true;
    }
    const unsigned buttons = style & 0x000F;
    if (buttons == MB_YESNO || buttons == MB_YESNOCANCEL) {
        return answerYes ? IDYES : IDNO;
    }
    return buttons == MB_OKCANCEL && !answerYes ? IDCANCEL : IDOK;
}

void CameraShell::ShowLinkDialog(LinkDialog dialog) {
    std::cerr << LinkDialogText(dialog) << '\n';
    failed = true;
}

CameraSession::CameraSession(Context& context, PortMap map)
    : line_(std::move(map)),
      program_(Ports{shell_, loop_, line_, context.clock, context.memory},
               HostEnvironment::FromProcess(true)) {
    loop_.onTimer = [this](WindowId window, int id) { program_.TimerFired(window, id); };
    loop_.watchedFd = [this] { return program_.receiver.Watching() ? line_.FileDescriptor() : -1; };
    loop_.onReadable = [this] { program_.receiver.OnReadable(); };
    loop_.onHangUp = [this] { program_.receiver.OnHangUp(); };
}

CameraSession::~CameraSession() {
    program_.Shutdown();
}

bool CameraSession::Connect(std::chrono::milliseconds limit) {
    program_.Startup();
    return RunUntil([this] { return program_.cameraPictures.index.IndexLoaded; }, limit);
}

bool CameraSession::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = PollLoop::Clock::now() + limit;
    for (;;) {
        if (shell_.failed) {
            return false;
        }
        if (done()) {
            return true;
        }
        // Paints come after the handlers that asked for them, as a message queue has them.
        if (!shell_.pendingPaints.empty()) {
            const std::set<WindowId> paints = std::exchange(shell_.pendingPaints, {});
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

bool TakePortOptions(const std::string& command, const Arguments& arguments, PortMap& map,
                     Arguments& rest) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] != "--port") {
            rest.push_back(arguments[i]);
            continue;
        }
        if (i + 1 >= arguments.size() || !map.Parse(arguments[i + 1])) {
            std::cerr << "fotolyx-cli " << command << ": bad --port option (expected COMn=PATH)\n";
            return false;
        }
        ++i;
    }
    return true;
}

}  // namespace fotolyx::cli
