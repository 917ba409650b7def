#include "support/link_session.h"

#include <algorithm>

namespace fotolyx::testing {

LinkSession::LinkSession() : environment(FolderEnvironment(root)) {}

LinkSession::~LinkSession() = default;

camsim::SimCamera& LinkSession::AddCamera(int portId, camsim::CameraConfig config) {
    cameras_.push_back(std::make_unique<camsim::SimCamera>(std::move(config)));
    line.Attach(portId, *cameras_.back());
    return *cameras_.back();
}

Program& LinkSession::Start() {
    program_ =
        std::make_unique<Program>(Ports{shell, loop, line, clock, memory, freeSpace}, environment);
    loop.onTimer = [this](WindowId window, int id) {
        if (window == FRAME_WINDOW || !windowTimer) {
            program_->TimerFired(window, id);
        } else {
            windowTimer(window, id);
        }
    };
    line.onReadable = [this] { program_->receiver.OnReadable(); };
    line.onHangUp = [this] { program_->receiver.OnHangUp(); };
    shell.onInvalidate =
        loop.PaintWhenHandlerDone([this](WindowId window) { program_->PaintWindow(window); });
    program_->Startup();
    return *program_;
}

bool LinkSession::RunUntilCameraReady(int limitMs) {
    return RunUntil([&] { return program_->link.SetupPhase == 0; }, limitMs);
}

bool LinkSession::DialogShown(LinkDialog dialog) const {
    return std::find(shell.linkDialogsShown.begin(), shell.linkDialogsShown.end(), dialog) !=
           shell.linkDialogsShown.end();
}

std::vector<std::uint8_t> LinkSession::WrittenSince(Micros since) const {
    std::vector<std::uint8_t> bytes;
    for (const auto& written : line.Written()) {
        if (written.sent >= since) {
            bytes.push_back(written.byte);
        }
    }
    return bytes;
}

}  // namespace fotolyx::testing
