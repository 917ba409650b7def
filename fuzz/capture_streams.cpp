// Writes the seed streams of the sim_camera and line targets from real exchanges: a program sets
// up the link with a simulated camera in virtual time, and then the PC's side of an index, a
// download, a delete, live view and an upload is played to a camera of the same kind. What the
// PC sent becomes a sim_camera seed, what the camera answered a line seed. Each transfer start
// state of the line target also gets the camera's real answers to the program's request.
//   capture_streams SIM_CAMERA_FOLDER LINE_FOLDER
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "camsim/picture_maker.h"
#include "line_rig.h"
#include "support/link_session.h"

using namespace fotolyx;
using namespace fotolyx::camsim;

namespace {

struct PcByte {
    Micros sent = 0;
    std::uint8_t byte = 0;
    std::uint32_t baud = BAUD_9600;
};

constexpr std::uint8_t CAMERA_CHOICE = 0x10;  // model "462", photo mode, one picture
constexpr std::uint8_t SPEED_CHOICE = 0x07;   // all three speeds
constexpr Micros DELAY_STEP = 50'000;

CameraConfig Camera() {
    CameraConfig config;
    config.pictures = MakeSamplePictures(1);
    return config;
}

void Save(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::uint8_t SpeedControl(std::uint32_t baud) {
    switch (baud) {
        case BAUD_9600:
            return 1;
        case BAUD_57600:
            return 2;
        case BAUD_115200:
            return 3;
        default:
            return 0;  // the camera's own speed
    }
}

// The sim_camera seed of a stream of PC bytes, and the camera's answers as a line seed.
void WriteSeeds(const std::string& name, const std::vector<PcByte>& stream,
                const std::filesystem::path& cameraFolder,
                const std::filesystem::path& lineFolder) {
    std::vector<std::uint8_t> cameraSeed = {CAMERA_CHOICE, SPEED_CHOICE};
    std::vector<std::uint8_t> lineSeed = {0};  // from the identification on
    SimCamera camera(Camera());
    Micros last = 0;
    for (const PcByte& pc : stream) {
        const auto steps = std::clamp<Micros>((pc.sent - last) / DELAY_STEP, 0, 7);
        last = pc.sent;
        cameraSeed.push_back(static_cast<std::uint8_t>(SpeedControl(pc.baud) | (steps << 2)));
        cameraSeed.push_back(pc.byte);
        while (camera.NextWakeup() && *camera.NextWakeup() <= pc.sent) {
            camera.Wake(*camera.NextWakeup());
        }
        camera.Receive(pc.byte, pc.sent);
        for (const Outgoing& message : camera.TakeOutput()) {
            for (std::size_t at = 0; at < message.bytes.size(); at += 32) {
                const std::size_t count = std::min<std::size_t>(32, message.bytes.size() - at);
                const bool lastChunk = at + count == message.bytes.size();
                lineSeed.push_back(static_cast<std::uint8_t>((count - 1) | (lastChunk ? 0x20 : 0)));
                lineSeed.insert(lineSeed.end(), message.bytes.begin() + static_cast<long>(at),
                                message.bytes.begin() + static_cast<long>(at + count));
            }
        }
    }
    Save(cameraFolder / (name + ".bin"), cameraSeed);
    Save(lineFolder / (name + ".bin"), lineSeed);
}

constexpr std::size_t FIRST_TRANSFER_STATE = 10;
constexpr std::size_t TRANSFER_SEED_BYTES = 3000;
constexpr Micros TRANSFER_SEED_TIME = 30'000'000;
constexpr Micros PAUSE_STEP = 150'000;
constexpr Micros MAX_PAUSE_STEPS = 6;  // 7 would make some headers events

// The line seed of a transfer start state: the bytes the program read from the camera after
// its request, in pieces of up to 32 bytes, with the pauses between them. `line` and `camera`
// give the exchange other line conditions and camera timings; what the program read through
// them (noise at a wrong speed, bursts from the adapter) is what the seed holds.
void WriteTransferSeed(std::size_t state, const std::filesystem::path& path,
                       const LineOptions& line = {},
                       std::function<void(CameraConfig&)> camera = nullptr) {
    fuzzing::LineRig rig;
    rig.cameraLine.options = line;
    rig.tweakCamera = std::move(camera);
    rig.Enter(state, true);
    std::vector<std::pair<Micros, std::uint8_t>> heard;
    rig.line.onCameraBytes = [&](std::span<const std::uint8_t> bytes) {
        for (const std::uint8_t byte : bytes) {
            heard.emplace_back(rig.loop.Now(), byte);
        }
    };
    rig.loop.RunUntil([&] { return heard.size() >= TRANSFER_SEED_BYTES; },
                      static_cast<int>(TRANSFER_SEED_TIME / 1000));
    std::vector<std::uint8_t> seed = {static_cast<std::uint8_t>(state)};
    std::size_t at = 0;
    while (at < heard.size()) {
        std::size_t end = at + 1;
        while (end < heard.size() && end - at < 32 &&
               heard[end].first - heard[end - 1].first < PAUSE_STEP) {
            ++end;
        }
        const Micros gap = end < heard.size() ? heard[end].first - heard[end - 1].first : 0;
        const auto steps = std::min<Micros>(gap / PAUSE_STEP, MAX_PAUSE_STEPS);
        seed.push_back(static_cast<std::uint8_t>((end - at - 1) | (steps << 5)));
        for (; at < end; ++at) {
            seed.push_back(heard[at].second);
        }
    }
    Save(path, seed);
}

std::string SeedName(const char* stateName) {
    std::string name = "start-";
    for (const char* c = stateName; *c != 0; ++c) {
        if (std::isalnum(static_cast<unsigned char>(*c))) {
            name += static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
        } else if (name.back() != '-') {
            name += '-';
        }
    }
    while (name.back() == '-') {
        name.pop_back();
    }
    return name + ".bin";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: capture_streams SIM_CAMERA_FOLDER LINE_FOLDER\n");
        return 2;
    }
    testing::LinkSession session;
    session.AddCamera(PORT_COM1, Camera());
    session.Start();
    if (!session.RunUntilCameraReady()) {
        std::fprintf(stderr, "the set-up did not finish\n");
        return 1;
    }
    std::vector<PcByte> setup;
    for (const auto& written : session.line.Written()) {
        setup.push_back({written.sent, written.byte, written.baud});
    }
    WriteSeeds("setup", setup, argv[1], argv[2]);

    // The transfers after the set-up, at the speed it ended with, one byte every 20 ms.
    const std::uint32_t speed = session.line.Baud();
    auto after = [&](std::vector<std::uint8_t> bytes) {
        std::vector<PcByte> stream = setup;
        Micros at = setup.empty() ? 0 : setup.back().sent;
        for (const std::uint8_t byte : bytes) {
            at += 20'000;
            stream.push_back({at, byte, speed});
        }
        return stream;
    };
    const auto digits = PictureNumberDigits(1);
    const std::vector<std::uint8_t> acks(12, ACK);
    auto with = [](std::vector<std::uint8_t> head, const std::vector<std::uint8_t>& tail) {
        head.insert(head.end(), tail.begin(), tail.end());
        return head;
    };
    WriteSeeds("index", after(with({INDEX_GET}, acks)), argv[1], argv[2]);
    WriteSeeds("download", after(with({digits[0], digits[1], digits[2], PICTURE_GET}, acks)),
               argv[1], argv[2]);
    WriteSeeds("delete",
               after({DELETE_BEGIN, digits[0], digits[1], digits[2], DELETE_PICTURE, DELETE_END}),
               argv[1], argv[2]);
    WriteSeeds(
        "live",
        after(with(with({LIVE_START}, acks), {LIVE_STOP, PHOTO_START, ACK, ACK, PHOTO_STOP})),
        argv[1], argv[2]);
    std::vector<std::uint8_t> upload = {UPLOAD_FINE};
    const Packet header = MakeUploadHeader(0, true, 200, nullptr);
    upload.insert(upload.end(), header.begin(), header.end());
    const std::vector<std::uint8_t> payload(112, 0x5A);
    for (std::uint32_t sequence = 1; sequence <= 2; ++sequence) {
        const Packet data = MakeDataPacket(sequence, payload);
        upload.insert(upload.end(), data.begin(), data.end());
    }
    WriteSeeds("upload", after(upload), argv[1], argv[2]);

    const std::filesystem::path lineFolder = argv[2];
    for (std::size_t state = FIRST_TRANSFER_STATE; state < fuzzing::StartStateCount(); ++state) {
        WriteTransferSeed(state, lineFolder / SeedName(fuzzing::StartStateName(state)));
    }

    // What the program reads from cameras of other timings and through other lines: READY
    // before the PC switched its speed (noise at 9600), a slow READY through 16 ms adapter
    // bursts, a download in bursts, and noise bytes inside the index.
    constexpr std::size_t IDENTIFICATION = 0;
    constexpr std::size_t INDEX_TRANSFER = 10;
    constexpr std::size_t PICTURE_DOWNLOAD = 11;
    const LineOptions bursts{0, 16'000, 1};
    WriteTransferSeed(IDENTIFICATION, lineFolder / "setup-ready-20ms.bin", {},
                      [](CameraConfig& c) { c.speedAnswerDelay = 20'000; });
    WriteTransferSeed(IDENTIFICATION, lineFolder / "setup-ready-400ms-bursts.bin", bursts,
                      [](CameraConfig& c) { c.speedAnswerDelay = 400'000; });
    WriteTransferSeed(PICTURE_DOWNLOAD, lineFolder / "start-picture-download-bursts.bin", bursts);
    WriteTransferSeed(INDEX_TRANSFER, lineFolder / "start-index-transfer-noise.bin", {},
                      [](CameraConfig& c) {
                          c.faults.noiseBeforeMessage = 4;
                          c.faults.noiseBytes = 7;
                      });
    return 0;
}
