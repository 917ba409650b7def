#include "camsim/sim_camera.h"

#include <gtest/gtest.h>

#include <optional>

#include "camsim/picture_maker.h"

namespace fotolyx::camsim {
namespace {

// Talks to the camera at its own speed and collects what it answers.
struct Talk {
    SimCamera camera;
    Micros now = 0;
    explicit Talk(CameraConfig config = {}) : camera(std::move(config)) {}
    std::vector<Outgoing> Say(std::uint8_t byte) {
        camera.Receive(byte, now);
        return camera.TakeOutput();
    }
    std::vector<Outgoing> Wait(Micros micros) {
        now += micros;
        camera.Wake(now);
        return camera.TakeOutput();
    }
};

Packet AsPacket(const Outgoing& out) {
    Packet packet{};
    EXPECT_EQ(out.bytes.size(), PACKET_LENGTH);
    std::copy_n(out.bytes.begin(), std::min(out.bytes.size(), PACKET_LENGTH), packet.begin());
    return packet;
}

std::uint8_t Status(const std::vector<Outgoing>& out) {
    return out.size() == 1 ? AsPacket(out[0])[STATUS_CODE_OFFSET] : 0;
}

TEST(SimCamera, IdentifiesAndAnswersTheSpeedRequestAtTheNewSpeedLater) {
    CameraConfig config;
    config.modelCode = "318";
    config.identValue = 123'456;
    config.pictures = MakeSamplePictures(3);
    Talk talk(config);
    const auto identification = talk.Say(IDENTIFY);
    ASSERT_EQ(identification.size(), 1u);
    const Identification read = ReadIdentification(AsPacket(identification[0]));
    EXPECT_EQ(std::string(read.modelCode.data(), 3), "318");
    EXPECT_EQ(read.value, 123'456u);
    EXPECT_EQ(read.pictureCount, 3);
    EXPECT_EQ(AsPacket(identification[0])[TRAILER_OFFSET], STATUS_TRAILER);
    EXPECT_TRUE(talk.Say(SPEED_115200).empty());
    EXPECT_TRUE(talk.Wait(99'000).empty());
    const auto ready = talk.Wait(1'000);
    ASSERT_EQ(ready.size(), 1u);
    EXPECT_EQ(ready[0].baud, 115'200u);
    EXPECT_EQ(Status(ready), READY);
    EXPECT_EQ(Status(talk.Say(SPEED_CONFIRM)), MODE_CAMERA);
    EXPECT_EQ(talk.camera.Baud(), 115'200u);
}

TEST(SimCamera, ReturnsTo9600WhenTheLinkBreaksOffOrEnds) {
    struct Case {
        const char* name;
        CameraMode mode;
        std::function<void(Talk&)> after;
    };
    const std::vector<Case> cases = {
        {"RESET_LINK", CameraMode::Photo,
         [](Talk& t) {
             t.Say(SPEED_CONFIRM);
             t.Say(RESET_LINK);
         }},
        {"VCR answer", CameraMode::Vcr,
         [](Talk& t) { EXPECT_EQ(Status(t.Say(SPEED_CONFIRM)), MODE_VCR); }},
        {"no-card answer", CameraMode::NoCard,
         [](Talk& t) { EXPECT_EQ(Status(t.Say(SPEED_CONFIRM)), NO_CARD); }},
    };
    for (const auto& c : cases) {
        CameraConfig config;
        config.mode = c.mode;
        Talk talk(config);
        talk.Say(IDENTIFY);
        talk.Say(SPEED_115200);
        talk.Wait(100'000);
        c.after(talk);
        EXPECT_EQ(talk.camera.Baud(), 9600u) << c.name;
        EXPECT_EQ(talk.Say(IDENTIFY).size(), 1u) << c.name;
    }
}

// The camera keeps a speed it has switched to while bytes come, whatever they are; with a silence
// limit it goes back to 9600 once the PC has said nothing for that long.
TEST(SimCamera, KeepsItsSpeedThroughNoiseAndFallsBackOnlyAfterItsSilence) {
    struct Case {
        const char* name;
        std::optional<Micros> fallBack;
        std::vector<std::pair<Micros, std::uint8_t>> heard;  // after READY: wait, then a byte
        Micros waitAfter;
        std::uint32_t baud;
    };
    const std::vector<Case> cases = {
        {"noise while waiting for the confirmation",
         std::nullopt,
         {{1'000, 0x00}, {100, 0xF8}, {100, 0x00}},
         10'000'000,
         115'200},
        {"no limit: the speed stays however long the silence",
         std::nullopt,
         {},
         60'000'000,
         115'200},
        {"silent for the limit", 500'000, {}, 500'000, 9'600},
        {"just under the limit", 500'000, {}, 499'999, 115'200},
        {"each byte starts the silence again",
         500'000,
         {{400'000, 0x00}, {400'000, 0x00}},
         499'999,
         115'200},
    };
    for (const Case& c : cases) {
        CameraConfig config;
        config.fallBackAfterSilence = c.fallBack;
        Talk talk(config);
        talk.Say(IDENTIFY);
        talk.Say(SPEED_115200);
        ASSERT_EQ(Status(talk.Wait(100'000)), READY) << c.name;
        for (const auto& [wait, byte] : c.heard) {
            talk.Wait(wait);
            talk.Say(byte);
        }
        talk.Wait(c.waitAfter);
        EXPECT_EQ(talk.camera.Baud(), c.baud) << c.name;
    }
}

TEST(PictureMaker, GeneratedPicturesAreJpegsOfTheirStatedSize) {
    const auto pictures = MakeSamplePictures(2);
    for (const auto& picture : pictures) {
        std::uint16_t width = 0;
        std::uint16_t height = 0;
        ASSERT_TRUE(ReadJpegSize(picture.jpeg, width, height));
        EXPECT_EQ(width, picture.width);
        EXPECT_EQ(height, picture.height);
        ASSERT_TRUE(ReadJpegSize(picture.thumbnail, width, height));
        EXPECT_EQ(width, 80);
        EXPECT_EQ(height, 60);
        EXPECT_EQ(picture.jpeg[picture.jpeg.size() - 2], 0xFF);
        EXPECT_EQ(picture.jpeg.back(), 0xD9);
    }
    // Cut short or not a JPEG at all: no size, and no read past the end.
    const auto& jpeg = pictures[0].jpeg;
    for (std::size_t cut : {std::size_t{0}, std::size_t{3}, std::size_t{21}}) {
        std::uint16_t width = 0;
        std::uint16_t height = 0;
        EXPECT_FALSE(ReadJpegSize({jpeg.begin(), jpeg.begin() + cut}, width, height)) << cut;
    }
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    EXPECT_FALSE(ReadJpegSize(std::vector<std::uint8_t>(100, 0xFF), width, height));
}

}  // namespace
}  // namespace fotolyx::camsim
