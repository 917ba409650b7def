#include "line_rig.h"

#include <algorithm>
#include <array>
#include <cstdlib>

#include "camsim/picture_maker.h"
#include "fuzz_input.h"
#include "windows/live_image_window.h"

namespace fotolyx::fuzzing {

void HandOverLine::HandOver() {
    if (camera_ != nullptr) {
        open_ = camera_->IsOpen();
        camera_->Close();
        camera_ = nullptr;
    }
}

LineOpenResult HandOverLine::Open(int portId) {
    if (camera_ != nullptr) {
        return camera_->Open(portId);
    }
    open_ = true;  // every port has a device on it
    return LineOpenResult::Opened;
}

void HandOverLine::Close() {
    if (camera_ != nullptr) {
        camera_->Close();
    }
    open_ = false;
}

bool HandOverLine::IsOpen() const {
    return camera_ != nullptr ? camera_->IsOpen() : open_;
}

void HandOverLine::Write(std::span<const std::uint8_t> bytes) {
    if (camera_ != nullptr) {
        camera_->Write(bytes);
    }
}

std::size_t HandOverLine::Read(std::span<std::uint8_t> buffer) {
    if (camera_ != nullptr) {
        const std::size_t count = camera_->Read(buffer);
        if (onCameraBytes && count > 0) {
            onCameraBytes(buffer.first(count));
        }
        return count;
    }
    const std::size_t count = std::min(buffer.size(), incoming.size());
    std::copy_n(incoming.begin(), count, buffer.begin());
    incoming.erase(incoming.begin(), incoming.begin() + static_cast<std::ptrdiff_t>(count));
    return count;
}

bool HandOverLine::SetBaudRate(std::uint32_t baud) {
    return camera_ != nullptr ? camera_->SetBaudRate(baud) : true;
}

void HandOverLine::Purge() {
    if (camera_ != nullptr) {
        camera_->Purge();
    }
    incoming.clear();
}

namespace {

constexpr int INDEX_LIMIT_MS = 60'000;

// Two small pictures (a Fine one with a raised treatment, a Normal one), made once per process.
const std::vector<camsim::SimPicture>& RigPictures() {
    static const std::vector<camsim::SimPicture> pictures = [] {
        std::vector<camsim::SimPicture> made = camsim::MakeSamplePictures(2);
        const std::array<std::pair<std::uint16_t, std::uint16_t>, 2> sizes = {{{64, 48}, {40, 30}}};
        for (std::size_t i = 0; i < made.size(); ++i) {
            made[i].width = sizes[i].first;
            made[i].height = sizes[i].second;
            made[i].jpeg =
                camsim::MakeSceneJpeg(sizes[i].first, sizes[i].second, static_cast<int>(i), 75);
        }
        made[0].attribute = 0x31;
        return made;
    }();
    return pictures;
}

void EnterSetupPhase(Program& program, std::uint8_t phase) {
    program.link.SetupPhase = phase;
    program.link.ExpectedLength = PACKET_LENGTH;
}

// A click on the thumbnail of a picture in the first row of the Preview.
void ClickPicture(Program& program, unsigned position, unsigned keys = 0) {
    program.previewWindow.LButtonDown(70 + 140 * static_cast<int>(position), 105, keys);
}

void StartUpload(Program& program, int command) {
    if (!program.buffers.WorkImage) {
        return;
    }
    // A 640 x 480 picture in WorkImage, as the Open command leaves it.
    std::optional<DibBlock> picture = CreateDib(640, 480, 24);
    if (!picture) {
        return;
    }
    auto pixels = picture->bytes().subspan(DibBitsOffset(*picture));
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = static_cast<std::uint8_t>(i * 7 / 3);
    }
    auto work = program.buffers.WorkImage->bytes();
    std::copy_n(picture->bytes().begin(), std::min(work.size(), picture->size()), work.begin());
    if (PictureWindow* window = program.CreateOpenfileWindow("upload.bmp", false)) {
        window->Command(command);
    }
}

enum class Reach {
    Nothing,        // the line is handed over before the start-up; no camera ever answers
    IndexStarting,  // the set-up handed over to the index transfer
    IndexLoaded,    // the whole index has arrived
};

struct StartState {
    const char* name;
    Reach reach;
    void (*enter)(Program&);
};

// Where a stream can meet the program: the set-up's phases, the recovery, and each transfer just
// after its request went out.
const std::array<StartState, 19> START_STATES = {{
    {"identification", Reach::Nothing, [](Program&) {}},
    {"speed phase 2", Reach::Nothing, [](Program& p) { EnterSetupPhase(p, 2); }},
    {"speed phase 3", Reach::Nothing, [](Program& p) { EnterSetupPhase(p, 3); }},
    {"speed phase 4", Reach::Nothing, [](Program& p) { EnterSetupPhase(p, 4); }},
    {"speed phase 5", Reach::Nothing, [](Program& p) { EnterSetupPhase(p, 5); }},
    {"speed phase 6", Reach::Nothing, [](Program& p) { EnterSetupPhase(p, 6); }},
    {"speed phase 7", Reach::Nothing, [](Program& p) { EnterSetupPhase(p, 7); }},
    {"re-set-up", Reach::Nothing, [](Program& p) { p.linkSetup.StartResetup(); }},
    {"line disconnected", Reach::Nothing, [](Program& p) { p.linkSetup.OpenDisconnectDialog(); }},
    {"idle after set-up", Reach::Nothing,
     [](Program& p) {
         p.link.SetupPhase = 0;
         p.link.TransferMode = TRANSFER_INDEX;
     }},
    {"index transfer", Reach::IndexStarting, [](Program&) {}},
    {"picture download", Reach::IndexLoaded,
     [](Program& p) {
         ClickPicture(p, 0);
         p.previewWindow.Command(CMD_DATA_IN);
     }},
    {"Save... of two pictures", Reach::IndexLoaded,
     [](Program& p) {
         ClickPicture(p, 0);
         ClickPicture(p, 1, MK_SHIFT);
         p.previewWindow.Command(CMD_SAVE_AS);
     }},
    {"Delete Page", Reach::IndexLoaded,
     [](Program& p) {
         ClickPicture(p, 1);
         p.previewWindow.Command(CMD_DELETE_PAGE);
     }},
    {"Delete All", Reach::IndexLoaded, [](Program& p) { p.previewWindow.Command(CMD_DELETE_ALL); }},
    {"live view", Reach::IndexLoaded,
     [](Program& p) { p.liveWindow.ButtonNotify(LIVE_BUTTON_PREVIEW, true); }},
    {"live photo", Reach::IndexLoaded,
     [](Program& p) {
         p.liveWindow.ButtonNotify(LIVE_BUTTON_PHOTO, true);
         p.liveWindow.ButtonNotify(LIVE_BUTTON_PHOTO, false);
     }},
    {"upload, Fine", Reach::IndexLoaded, [](Program& p) { StartUpload(p, CMD_DATA_OUT_FINE); }},
    {"upload, Normal", Reach::IndexLoaded, [](Program& p) { StartUpload(p, CMD_DATA_OUT_NORMAL); }},
}};

}  // namespace

std::size_t StartStateCount() {
    return START_STATES.size();
}

const char* StartStateName(std::size_t state) {
    return START_STATES[state % START_STATES.size()].name;
}

LineRig::LineRig() {
    environment.programDirectory = FuzzFolder();
    environment.startDirectory = FuzzFolder();
    environment.configHome = FuzzFolder() / "config";
    environment.tempDirectory = FuzzFolder();
}

LineRig::~LineRig() = default;

void LineRig::Enter(std::size_t state, bool keepCamera) {
    const StartState& start = START_STATES[state % START_STATES.size()];
    camsim::CameraConfig config;
    config.pictures = RigPictures();
    if (tweakCamera) {
        tweakCamera(config);
    }
    camera_ = std::make_unique<camsim::SimCamera>(std::move(config));
    cameraLine.Attach(PORT_COM1, *camera_);

    program_ =
        std::make_unique<Program>(Ports{shell, loop, line, clock, memory, freeSpace}, environment);
    loop.onTimer = [this](WindowId window, int id) { program_->TimerFired(window, id); };
    cameraLine.onReadable = [this] { program_->receiver.OnReadable(); };
    cameraLine.onHangUp = [this] { program_->receiver.OnHangUp(); };
    shell.onInvalidate =
        loop.PaintWhenHandlerDone([this](WindowId window) { program_->PaintWindow(window); });
    if (start.reach == Reach::Nothing && !keepCamera) {
        line.HandOver();
    }
    program_->Startup();
    Program& p = *program_;
    switch (start.reach) {
        case Reach::Nothing:
            loop.RunFor(OPEN_PORT_DELAY_MS);  // the port is open, the identification on its way
            break;
        case Reach::IndexStarting:
            loop.RunUntil([&] { return p.link.SetupPhase == 0; }, INDEX_LIMIT_MS);
            break;
        case Reach::IndexLoaded:
            loop.RunUntil([&] { return p.indexTransfer.index.IndexLoaded; }, INDEX_LIMIT_MS);
            break;
    }
    start.enter(p);
    if (!keepCamera) {
        line.HandOver();
    }
}

}  // namespace fotolyx::fuzzing
