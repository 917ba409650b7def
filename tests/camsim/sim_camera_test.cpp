#include "camsim/sim_camera.h"

#include <gtest/gtest.h>

namespace fotolyx::camsim {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Talk {
    SimCamera camera;
    Micros now = 0;
    std::uint32_t baud = 0;
    explicit Talk(CameraConfig config = {}) : camera(std::move(config)) {}
    Bytes Say(const Bytes& bytes, Micros wait = 0) {
        now += wait;
        camera.Wake(now);
        for (const std::uint8_t byte : bytes) {
            camera.Receive(byte, now);
        }
        Bytes answer;
        for (const Outgoing& out : camera.TakeOutput()) {
            answer.insert(answer.end(), out.bytes.begin(), out.bytes.end());
            baud = out.baud;
        }
        return answer;
    }
};

std::uint8_t Status(const Bytes& answer) {
    return answer.size() == PACKET_LENGTH ? answer[STATUS_CODE_OFFSET] : 0;
}

// READY 100 ms after the speed request, at its speed; then the answer and the speed kept.
TEST(SimCamera, KeepsItsSpeedUntilTheLinkEndsOrItsSilenceRunsOut) {
    using enum CameraMode;
    using Script = std::vector<std::pair<Micros, Bytes>>;  // wait, then send
    const std::tuple<const char*, CameraMode, std::optional<Micros>, Script, int, std::uint32_t>
        cases[] = {
            {"RESET_LINK", Photo, {}, {{0, {SPEED_CONFIRM, RESET_LINK}}}, MODE_CAMERA, 9'600},
            {"VCR answer", Vcr, {}, {{0, {SPEED_CONFIRM}}}, MODE_VCR, 9'600},
            {"noise", Photo, {}, {{0, {0x00, 0xF8}}, {10'000'000, {}}}, 0, 115'200},
            {"no limit, a minute's silence", Photo, {}, {{60'000'000, {}}}, 0, 115'200},
            {"silent for the limit", Photo, 500'000, {{500'000, {}}}, 0, 9'600},
            {"just under the limit", Photo, 500'000, {{499'999, {}}}, 0, 115'200},
            {"a byte restarts it", Photo, 500'000, {{400'000, {0}}, {499'999, {}}}, 0, 115'200},
        };
    for (const auto& [name, mode, fallBack, script, expectedAnswer, baud] : cases) {
        CameraConfig config;
        config.mode = mode;
        config.fallBackAfterSilence = fallBack;
        Talk talk(config);
        talk.Say({IDENTIFY, SPEED_115200});
        ASSERT_EQ(talk.Say({}, 99'999), Bytes{}) << name;
        ASSERT_EQ(std::tuple(Status(talk.Say({}, 1)), talk.baud), std::tuple(READY, 115'200u));
        int answer = 0;
        for (const auto& [wait, bytes] : script) {
            answer = Status(talk.Say(bytes, wait));
        }
        EXPECT_EQ(std::tuple(answer, talk.camera.Baud()), std::tuple(expectedAnswer, baud)) << name;
    }
}

// A fault spoils its message as the program's tests count on: length and bytes changed.
TEST(SimCamera, FaultsSpoilTheMessageTheyAreSetFor) {
    const Bytes clean = Talk().Say({IDENTIFY});
    ASSERT_TRUE(clean.size() == PACKET_LENGTH && clean[TRAILER_OFFSET] == STATUS_TRAILER);
    const std::size_t n = PACKET_LENGTH;
    using Set = void (*)(CameraFaults&);
    const std::tuple<const char*, Set, std::size_t, std::vector<std::size_t>> cases[] = {
        {"silent", [](CameraFaults& f) { f.silentAfterMessages = 0; }, 0, {}},
        {"cable pulled", [](CameraFaults& f) { f.hangUpAfterMessages = 0; }, 0, {}},
        {"garbled", [](CameraFaults& f) { f.garbleMessage = 0; }, n, {0}},
        {"dropped byte", [](CameraFaults& f) { f.dropByteMessage = 0; }, n - 1, {}},
        {"bad trailer", [](CameraFaults& f) { f.badTrailerStatus = 1; }, n, {TRAILER_OFFSET}},
    };
    for (const auto& [name, set, length, differing] : cases) {
        CameraConfig config;
        set(config.faults);
        const Bytes answer = Talk(config).Say({IDENTIFY});
        ASSERT_EQ(answer.size(), length) << name;
        std::vector<std::size_t> differs;
        for (std::size_t i = 0; i < length; ++i) {
            if (answer[i] != clean[i]) {
                differs.push_back(i);
            }
        }
        EXPECT_EQ(differs, differing) << name;
    }
}

}  // namespace
}  // namespace fotolyx::camsim
