// The line: a Program in virtual time fed an arbitrary byte stream from the camera's side. The
// first byte chooses the state the program starts in (a start state of LineRig: a phase of the
// set-up, the recovery, or a transfer just after its request went out); then each header byte
// brings 1 to 32 bytes from the camera followed by a pause of 0 to 900 ms, or one of the events
// at the top of the byte range (a hang-up, a button of a link dialog).
#include <cstdlib>

#include "fuzz_input.h"
#include "line_rig.h"

using namespace fotolyx;

namespace {

constexpr std::uint8_t EVENT_HANG_UP = 0xFF;
constexpr std::uint8_t EVENT_RECONNECT_RETRY = 0xFE;
constexpr std::uint8_t EVENT_DISCONNECT_RECONNECT = 0xFD;
constexpr int PAUSE_STEP_MS = 150;
constexpr int SETTLE_MS = 10'000;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::InputReader input({data, size});
    fuzzing::LineRig rig;
    rig.Enter(input.Byte());
    Program& program = rig.program();

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
                rig.line.incoming.insert(rig.line.incoming.end(), bytes.begin(), bytes.end());
                // The host reads while the line has bytes and the receiver takes them.
                while (program.receiver.Watching() && !rig.line.incoming.empty()) {
                    const std::size_t before = rig.line.incoming.size();
                    program.receiver.OnReadable();
                    if (rig.line.incoming.size() >= before) {
                        break;
                    }
                }
                rig.loop.RunFor(PAUSE_STEP_MS * (header >> 5));
            }
        }
        if (program.link.ReceiveCount < 0 ||
            static_cast<std::size_t>(program.link.ReceiveCount) > PACKET_LENGTH) {
            std::abort();
        }
    }
    rig.loop.RunFor(SETTLE_MS);
    return 0;
}
