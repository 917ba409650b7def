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
    std::vector<Outgoing> SayPacket(const Packet& packet) {
        for (const std::uint8_t byte : packet) {
            camera.Receive(byte, now);
        }
        return camera.TakeOutput();
    }
    std::vector<Outgoing> Wait(Micros micros) {
        now += micros;
        camera.Wake(now);
        return camera.TakeOutput();
    }
    // Sets the link up at 115200 in photo mode.
    void SetUp() {
        Say(IDENTIFY);
        Say(SPEED_115200);
        Wait(100'000);
        Say(SPEED_CONFIRM);
    }
    // Sends the three digits of a number; each is answered READY.
    void Number(unsigned number) {
        for (const std::uint8_t digit : PictureNumberDigits(number)) {
            const auto answer = Say(digit);
            ASSERT_EQ(answer.size(), 1u);
            EXPECT_EQ(answer[0].bytes[STATUS_CODE_OFFSET], READY);
        }
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

TEST(SimCamera, AnswersTheSpeedRequestAfterItsOwnDelay) {
    for (const Micros delay : {Micros{20'000}, Micros{100'000}, Micros{400'000}}) {
        CameraConfig config;
        config.speedAnswerDelay = delay;
        Talk talk(config);
        talk.Say(IDENTIFY);
        talk.Say(SPEED_57600);
        EXPECT_TRUE(talk.Wait(delay - 1).empty()) << delay;
        const auto ready = talk.Wait(1);
        ASSERT_EQ(ready.size(), 1u) << delay;
        EXPECT_EQ(ready[0].baud, 57'600u) << delay;
    }
}

TEST(SimCamera, SpeedsItDoesNotManageGetNoAnswer) {
    CameraConfig config;
    config.speeds = {57'600};
    Talk talk(config);
    talk.Say(IDENTIFY);
    talk.Say(SPEED_115200);
    EXPECT_FALSE(talk.camera.NextWakeup().has_value());
    EXPECT_TRUE(talk.Wait(1'000'000).empty());
    talk.Say(SPEED_57600);
    EXPECT_EQ(talk.Wait(100'000).at(0).baud, 57'600u);
}

TEST(SimCamera, SendsTheIndexEntryByEntryAndEndsWithTheEndHeader) {
    CameraConfig config;
    config.pictures = MakeSamplePictures(2);
    Talk talk(config);
    talk.SetUp();
    talk.Number(0);
    for (std::size_t p = 0; p < 2; ++p) {
        const auto out = p == 0 ? talk.Say(INDEX_GET) : talk.Say(INDEX_NEXT);
        const Packet header = AsPacket(out.at(0));
        const SimPicture& picture = config.pictures[p];
        EXPECT_EQ(ClassifyPacket(header, 0), PacketKind::GoodData);
        EXPECT_EQ(header[3], picture.attribute);
        EXPECT_EQ(ReadBe32(header, 4), picture.thumbnail.size());
        EXPECT_EQ(ReadBe16(header, 8), picture.width);
        EXPECT_NE(ReadBe16(header, 12), 0);
        EXPECT_EQ(ReadBe16(header, 14), 80);
        EXPECT_EQ(header[22], 102);
        EXPECT_EQ(ReadBe16(header, 28), 2);
        std::vector<std::uint8_t> thumbnail;
        const std::uint32_t packets = DataPacketCount(ReadBe32(header, 4));
        for (std::uint32_t k = 1; k <= packets; ++k) {
            const Packet data = AsPacket(talk.Say(ACK).at(0));
            ASSERT_EQ(ClassifyPacket(data, k), PacketKind::GoodData);
            thumbnail.insert(thumbnail.end(), data.begin() + 3, data.begin() + 115);
        }
        EXPECT_TRUE(talk.Say(ACK).empty());  // nothing after the last packet
        thumbnail.resize(picture.thumbnail.size());
        EXPECT_EQ(thumbnail, picture.thumbnail);
    }
    const Packet end = AsPacket(talk.Say(INDEX_NEXT).at(0));
    EXPECT_EQ(ReadBe16(end, 12), 0);
    EXPECT_EQ(ReadBe16(end, 28), 2);
}

TEST(SimCamera, AnEmptyCardAnswersOneHeaderWithNoPictures) {
    Talk talk;
    talk.SetUp();
    talk.Number(0);
    const Packet header = AsPacket(talk.Say(INDEX_GET).at(0));
    EXPECT_EQ(ReadBe16(header, 28), 0);
}

TEST(SimCamera, NakRepeatsAndResendRestartsTheEntry) {
    CameraConfig config;
    config.pictures = MakeSamplePictures(1);
    Talk talk(config);
    talk.SetUp();
    talk.Number(0);
    const auto header = talk.Say(INDEX_GET);
    const auto first = talk.Say(ACK);
    EXPECT_EQ(talk.Say(NAK)[0].bytes, first[0].bytes);
    EXPECT_EQ(talk.Say(INDEX_RESEND)[0].bytes, header[0].bytes);
}

TEST(SimCamera, DeletesMarkedPicturesAndErasesAll) {
    CameraConfig config;
    config.pictures = MakeSamplePictures(4);
    const auto fine = config.fineCapacity;
    Talk talk(config);
    talk.SetUp();
    EXPECT_EQ(Status(talk.Say(DELETE_BEGIN)), READY);
    for (unsigned n : {0u, 3u}) {
        talk.Number(n);
        EXPECT_EQ(Status(talk.Say(DELETE_PICTURE)), READY);
    }
    EXPECT_EQ(Status(talk.Say(DELETE_END)), DELETE_DONE);
    // A NAK is answered as any NAK: the last message again, and nothing more is deleted.
    EXPECT_EQ(Status(talk.Say(NAK)), DELETE_DONE);
    ASSERT_EQ(talk.camera.Pictures().size(), 2u);
    EXPECT_EQ(talk.camera.Pictures()[0].jpeg, config.pictures[1].jpeg);
    EXPECT_EQ(talk.camera.FineCapacity(), fine + 1);
    EXPECT_EQ(Status(talk.Say(ERASE_ALL)), DELETE_DONE);
    EXPECT_EQ(Status(talk.Say(NAK)), DELETE_DONE);
    EXPECT_TRUE(talk.camera.Pictures().empty());
}

TEST(SimCamera, DownloadsAPictureByNumber) {
    CameraConfig config;
    config.pictures = MakeSamplePictures(2);
    Talk talk(config);
    talk.SetUp();
    talk.Number(1);
    const Packet header = AsPacket(talk.Say(PICTURE_GET).at(0));
    EXPECT_EQ(ReadBe32(header, 4), config.pictures[1].jpeg.size());
    EXPECT_EQ(ReadBe16(header, 18), config.fineCapacity);
    EXPECT_EQ(ReadBe16(header, 20), config.normalCapacity);
    talk.Number(7);  // no such picture: no answer
    EXPECT_TRUE(talk.Say(PICTURE_GET).empty());
}

std::vector<std::uint8_t> Answers(const std::vector<Outgoing>& out) {
    std::vector<std::uint8_t> bytes;
    for (const auto& message : out) {
        bytes.insert(bytes.end(), message.bytes.begin(), message.bytes.end());
    }
    return bytes;
}

// Sends one file of an upload: its header and data packets, collecting the one-byte answers.
std::vector<std::uint8_t> UploadFile(Talk& talk, const std::vector<std::uint8_t>& file,
                                     const UploadDate* date) {
    std::vector<std::uint8_t> answers = Answers(
        talk.SayPacket(MakeUploadHeader(0, true, static_cast<std::uint32_t>(file.size()), date)));
    const std::uint32_t packets = DataPacketCount(static_cast<std::uint32_t>(file.size()));
    for (std::uint32_t k = 1; k <= packets; ++k) {
        const std::size_t begin = std::min<std::size_t>((k - 1) * 112, file.size());
        const std::size_t end = std::min<std::size_t>(begin + 112, file.size());
        const auto answer = Answers(talk.SayPacket(
            MakeDataPacket(k, std::span<const std::uint8_t>(file.data() + begin, end - begin))));
        answers.insert(answers.end(), answer.begin(), answer.end());
    }
    return answers;
}

TEST(SimCamera, TakesAnUploadOfPictureAndThumbnail) {
    Talk talk;
    talk.SetUp();
    const std::vector<std::uint8_t> picture(300, 0x11);
    const std::vector<std::uint8_t> thumbnail(50, 0x22);
    EXPECT_EQ(Answers(talk.Say(UPLOAD_FINE)), std::vector<std::uint8_t>{UPLOAD_READY});
    const UploadDate date{2002, 6, 1, 9, 30};
    EXPECT_EQ(UploadFile(talk, picture, &date),
              (std::vector<std::uint8_t>{ACK, ACK, ACK, UPLOAD_SECOND}));
    EXPECT_EQ(UploadFile(talk, thumbnail, nullptr), (std::vector<std::uint8_t>{ACK, UPLOAD_DONE}));
    ASSERT_EQ(talk.camera.Pictures().size(), 1u);
    EXPECT_EQ(talk.camera.Pictures()[0].jpeg, picture);
    EXPECT_EQ(talk.camera.Pictures()[0].thumbnail, thumbnail);
    EXPECT_EQ(talk.camera.Pictures()[0].date.year, 2002);
    EXPECT_EQ(talk.camera.Pictures()[0].date.minute, 30);
}

TEST(SimCamera, UploadFaultsAndLimits) {
    {
        CameraConfig config;
        config.faults.nakAnswers = 2;
        Talk talk(config);
        talk.SetUp();
        talk.Say(UPLOAD_NORMAL);
        const Packet header = MakeUploadHeader(0, false, 10, nullptr);
        EXPECT_EQ(Answers(talk.SayPacket(header)), std::vector<std::uint8_t>{NAK});
        EXPECT_EQ(Answers(talk.SayPacket(header)), std::vector<std::uint8_t>{NAK});
        EXPECT_EQ(Answers(talk.SayPacket(header)), std::vector<std::uint8_t>{ACK});
        Packet wrong = MakeDataPacket(2, {});
        EXPECT_EQ(Answers(talk.SayPacket(wrong)), std::vector<std::uint8_t>{NAK});
    }
    {
        CameraConfig config;
        config.fineCapacity = 0;
        Talk talk(config);
        talk.SetUp();
        EXPECT_EQ(Answers(talk.Say(UPLOAD_FINE)), std::vector<std::uint8_t>{UPLOAD_FULL});
    }
    {
        CameraConfig config;
        config.uploadLimitBytes = 1000;
        Talk talk(config);
        talk.SetUp();
        talk.Say(UPLOAD_FINE);
        EXPECT_EQ(Answers(talk.SayPacket(MakeUploadHeader(0, true, 1001, nullptr))),
                  std::vector<std::uint8_t>{UPLOAD_FULL});
        EXPECT_EQ(Status(talk.Say(DIGIT_UNITS)), READY);  // back to commands
    }
}

TEST(SimCamera, LiveFramesAndTheLargePhotoComeAsNumberedPackets) {
    Talk talk;
    talk.SetUp();
    auto out = talk.Say(LIVE_START);
    for (std::uint32_t line = 0; line < 60; ++line) {
        ASSERT_EQ(ClassifyPacket(AsPacket(out.at(0)), line), PacketKind::GoodData) << line;
        out = talk.Say(ACK);
    }
    EXPECT_TRUE(out.empty());
    const auto firstFrame = AsPacket(talk.Say(LIVE_START).at(0));
    EXPECT_EQ(firstFrame[1], 0);

    out = talk.Say(PHOTO_START);
    std::uint32_t count = 0;
    while (!out.empty()) {
        ASSERT_EQ(ClassifyPacket(AsPacket(out[0]), count), PacketKind::GoodData);
        ++count;
        out = talk.Say(ACK);
    }
    EXPECT_EQ(count, 2160u);
    talk.Say(PHOTO_START);
    talk.Say(ACK);
    EXPECT_EQ(AsPacket(talk.Say(RESTART).at(0))[1], 0);
    talk.Say(PHOTO_STOP);
    EXPECT_TRUE(talk.Say(ACK).empty());
}

TEST(SimCamera, ThePhotoButtonSendsANotice) {
    Talk talk;
    talk.SetUp();
    talk.camera.PressPhotoButton();
    EXPECT_EQ(Status(talk.camera.TakeOutput()), CAMERA_NOTICE);
}

}  // namespace
}  // namespace fotolyx::camsim

namespace fotolyx::camsim {
namespace {

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
