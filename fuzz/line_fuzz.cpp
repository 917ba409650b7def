// The line: a Program in virtual time fed an arbitrary byte stream from the camera's side. The
// first byte chooses the state the program starts in (a row of START_STATES); then each header
// byte brings 1 to 32 bytes from the camera followed by a pause of 0 to 900 ms, or one of the
// events at the top of the byte range (a hang-up, a button of a link dialog).
#include <algorithm>
#include <array>
#include <cstdlib>
#include <deque>
#include <functional>

#include "app/program.h"
#include "fuzz_input.h"
#include "support/fakes.h"
#include "support/virtual_loop.h"

using namespace fotolyx;

namespace {

// A line whose camera says whatever the fuzzer says; every port has a device on it.
class FuzzedLine final : public SerialLine {
  public:
    LineOpenResult Open(int) override {
        open_ = true;
        return LineOpenResult::Opened;
    }
    void Close() override { open_ = false; }
    bool IsOpen() const override { return open_; }
    void Write(std::span<const std::uint8_t>) override {}
    std::size_t Read(std::span<std::uint8_t> buffer) override {
        const std::size_t count = std::min(buffer.size(), incoming.size());
        std::copy_n(incoming.begin(), count, buffer.begin());
        incoming.erase(incoming.begin(), incoming.begin() + static_cast<std::ptrdiff_t>(count));
        return count;
    }
    bool SetBaudRate(std::uint32_t) override { return true; }
    void Purge() override { incoming.clear(); }

    std::deque<std::uint8_t> incoming;

  private:
    bool open_ = false;
};

struct StartState {
    const char* name;
    std::function<void(Program&)> enter;
};

void EnterSetupPhase(Program& program, std::uint8_t phase) {
    program.link.SetupPhase = phase;
    program.link.ExpectedLength = PACKET_LENGTH;
}

// Where a stream can meet the program. The transfers (index, download, delete, live, upload)
// join this table as their handlers are wired into the Program.
const std::array<StartState, 10> START_STATES = {{
    {"identification", [](Program&) {}},
    {"speed phase 2", [](Program& p) { EnterSetupPhase(p, 2); }},
    {"speed phase 3", [](Program& p) { EnterSetupPhase(p, 3); }},
    {"speed phase 4", [](Program& p) { EnterSetupPhase(p, 4); }},
    {"speed phase 5", [](Program& p) { EnterSetupPhase(p, 5); }},
    {"speed phase 6", [](Program& p) { EnterSetupPhase(p, 6); }},
    {"speed phase 7", [](Program& p) { EnterSetupPhase(p, 7); }},
    {"re-set-up", [](Program& p) { p.linkSetup.StartResetup(); }},
    {"line disconnected", [](Program& p) { p.linkSetup.OpenDisconnectDialog(); }},
    {"idle after set-up",
     [](Program& p) {
         p.link.SetupPhase = 0;
         p.link.TransferMode = 0;
     }},
}};

constexpr std::uint8_t EVENT_HANG_UP = 0xFF;
constexpr std::uint8_t EVENT_RECONNECT_RETRY = 0xFE;
constexpr std::uint8_t EVENT_DISCONNECT_RECONNECT = 0xFD;
constexpr int PAUSE_STEP_MS = 150;
constexpr int SETTLE_MS = 10'000;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::InputReader input({data, size});
    const StartState& start = START_STATES[input.Byte() % START_STATES.size()];

    testing::RecordingShell shell;
    testing::VirtualLoop loop;
    FuzzedLine line;
    testing::FixedClock clock;
    Memory memory;
    HostEnvironment environment;
    environment.programDirectory = fuzzing::FuzzFolder();
    environment.startDirectory = fuzzing::FuzzFolder();
    environment.configHome = fuzzing::FuzzFolder() / "config";
    environment.tempDirectory = fuzzing::FuzzFolder();
    Program program(Ports{shell, loop, line, clock, memory}, environment);
    loop.onTimer = [&program](WindowId window, int id) { program.TimerFired(window, id); };
    program.Startup();
    loop.RunFor(PORT_OPEN_DELAY_MS);  // the port is open, the identification on its way
    start.enter(program);

    while (!input.Empty()) {
        const std::uint8_t header = input.Byte();
        switch (header) {
            case EVENT_HANG_UP:
                program.receiver.OnHangUp();
                break;
            case EVENT_RECONNECT_RETRY:
                program.linkSetup.ReconnectRetry();
                break;
            case EVENT_DISCONNECT_RECONNECT:
                program.linkSetup.DisconnectReconnect();
                break;
            default: {
                const auto bytes = input.Take((header & 0x1F) + 1u);
                line.incoming.insert(line.incoming.end(), bytes.begin(), bytes.end());
                if (program.receiver.Watching()) {
                    program.receiver.OnReadable();
                }
                loop.RunFor(PAUSE_STEP_MS * (header >> 5));
            }
        }
        if (program.link.ReceiveCount < 0 ||
            static_cast<std::size_t>(program.link.ReceiveCount) > PACKET_LENGTH) {
            std::abort();
        }
    }
    loop.RunFor(SETTLE_MS);
    return 0;
}
