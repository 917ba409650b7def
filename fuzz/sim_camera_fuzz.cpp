// The simulated camera fed arbitrary bytes from the PC's side. The first two bytes choose the
// camera (model code, mode, pictures, speeds, a fault, its answer delay and whether it falls back
// to 9600 when the PC is silent); then each byte the PC sends comes with a control byte: the speed
// it is sent at (the camera reads it through a UART wire at its own speed), the time that passes
// before it, the photo button and a mode switch.
#include <array>
#include <cstdlib>
#include <string>
#include <vector>

#include "camsim/picture_maker.h"
#include "camsim/sim_camera.h"
#include "camsim/uart_line.h"
#include "fuzz_input.h"

using namespace fotolyx;
using namespace fotolyx::camsim;

namespace {

constexpr std::array<const char*, 4> MODEL_CODES = {"462", "318", "999", "46"};
constexpr std::array<CameraMode, 3> MODES = {CameraMode::Photo, CameraMode::Vcr,
                                             CameraMode::NoCard};
constexpr std::array<std::uint32_t, 3> SPEEDS = {BAUD_115200, BAUD_57600, BAUD_19200};
constexpr std::array<std::uint32_t, 3> OTHER_SENDER_SPEEDS = {BAUD_9600, BAUD_57600, BAUD_115200};
constexpr Micros DELAY_STEP = 50'000;
constexpr std::array<Micros, 3> READY_DELAYS = {20'000, 100'000, 400'000};
constexpr Micros FALL_BACK_AFTER = 500'000;

// Generated once per process: making JPEGs is slow next to one input.
const std::vector<SimPicture>& SamplePictures() {
    static const std::vector<SimPicture> pictures = MakeSamplePictures(2);
    return pictures;
}

CameraConfig ChooseCamera(fuzzing::InputReader& input) {
    const std::uint8_t first = input.Byte();
    const std::uint8_t second = input.Byte();
    CameraConfig config;
    config.modelCode = MODEL_CODES[first & 0x03];
    config.mode = MODES[((first >> 2) & 0x03) % MODES.size()];
    const auto& pictures = SamplePictures();
    config.pictures.assign(pictures.begin(),
                           pictures.begin() + std::min<std::size_t>((first >> 4) & 0x03, 2));
    config.speeds.clear();
    for (std::size_t i = 0; i < SPEEDS.size(); ++i) {
        if ((second & (1u << i)) != 0) {
            config.speeds.push_back(SPEEDS[i]);
        }
    }
    config.fineCapacity = static_cast<std::uint16_t>(first >> 6);
    config.uploadLimitBytes = (second & 0x08) != 0 ? 2'000 : 300'000;
    const std::uint32_t at = (second >> 4) & 0x07;
    config.speedAnswerDelay = READY_DELAYS[at % READY_DELAYS.size()];
    if ((second & 0x80) != 0) {
        config.fallBackAfterSilence = FALL_BACK_AFTER;
    }
    switch (first >> 6) {
        case 1:
            config.faults.garbleMessage = at;
            config.faults.garbleCount = 2;
            break;
        case 2:
            config.faults.dropByteMessage = at;
            config.faults.wrongSequenceMessage = at + 1;
            break;
        case 3:
            config.faults.nakAnswers = at;
            config.faults.badTrailerStatus = at;
            config.faults.silentAfterMessages = 2 * at + 1;
            break;
        default:
            break;
    }
    return config;
}

void CheckOutput(SimCamera& camera) {
    for (const Outgoing& message : camera.TakeOutput()) {
        // A message is one packet or one upload answer; the dropped-byte fault may leave a
        // one-byte answer empty.
        if (message.bytes.size() > PACKET_LENGTH) {
            std::abort();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::InputReader input({data, size});
    SimCamera camera(ChooseCamera(input));
    UartWire wire;
    std::vector<Arrival> arrivals;
    Micros now = 0;
    auto wakeUntil = [&camera](Micros until) {
        while (const auto when = camera.NextWakeup()) {
            if (*when > until) {
                break;
            }
            camera.Wake(*when);
        }
    };
    auto hear = [&](Micros until) {
        arrivals.clear();
        wire.Read(camera.Baud(), until, arrivals);
        for (const Arrival& arrival : arrivals) {
            wakeUntil(arrival.at);
            camera.Receive(arrival.byte, arrival.at);
        }
    };
    while (input.Left() >= 2) {
        const std::uint8_t control = input.Byte();
        const std::uint8_t byte = input.Byte();
        now += DELAY_STEP * ((control >> 2) & 0x07);
        wakeUntil(now);
        if ((control & 0x20) != 0) {
            camera.PressPhotoButton();
        }
        if ((control & 0x40) != 0) {
            camera.SetMode(MODES[byte % MODES.size()]);
        }
        if ((control & 0x80) != 0 && byte == 0xFF) {
            camera.PullCable();
        }
        const std::uint32_t senderBaud =
            (control & 0x03) == 0 ? camera.Baud() : OTHER_SENDER_SPEEDS[(control & 0x03) - 1];
        now = wire.Put(byte, senderBaud, now);
        hear(now);
        CheckOutput(camera);
    }
    hear(now + 1'000'000);
    wakeUntil(now + 1'000'000);
    CheckOutput(camera);
    return 0;
}
