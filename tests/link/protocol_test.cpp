#include "link/protocol.h"

#include <gtest/gtest.h>

#include <vector>

namespace fotolyx {
namespace {

TEST(Protocol, PictureNumbersGoOutUnitsFirst) {
    struct Case {
        unsigned number;
        std::array<std::uint8_t, 3> digits;
    };
    for (const Case& c : {Case{7, {0xA7, 0xB0, 0xC0}}, Case{125, {0xA5, 0xB2, 0xC1}},
                          Case{0, {0xA0, 0xB0, 0xC0}}, Case{999, {0xA9, 0xB9, 0xC9}}}) {
        EXPECT_EQ(PictureNumberDigits(c.number), c.digits) << c.number;
    }
}

TEST(Protocol, AByteCountGetsOneMoreDataPacketThanWholePayloads) {
    struct Case {
        std::uint32_t bytes;
        std::uint32_t packets;
    };
    for (const Case& c : {Case{0, 1}, Case{111, 1}, Case{112, 2}, Case{223, 2}, Case{224, 3}}) {
        EXPECT_EQ(DataPacketCount(c.bytes), c.packets) << c.bytes;
    }
}

TEST(Protocol, PacketTestGoesDataThenStatusThenBad) {
    auto data = [](std::uint32_t sequence) { return MakeDataPacket(sequence, {}); };
    Packet wrongEnd = data(0);
    wrongEnd[END_OFFSET] = 1;
    Packet statusLookingLikeData = MakeStatusPacket(READY);
    statusLookingLikeData[END_OFFSET] = 0;
    Packet garbage{};
    garbage[0] = 0x55;
    struct Case {
        const char* name;
        Packet packet;
        std::uint32_t counter;
        PacketKind kind;
    };
    const std::vector<Case> cases = {
        {"expected sequence", data(5), 5, PacketKind::GoodData},
        {"sequence wraps at 256", data(256), 256, PacketKind::GoodData},
        {"packet 256 carries 0", data(0), 256, PacketKind::GoodData},
        {"packet 511 carries 255", data(255), 511, PacketKind::GoodData},
        {"wrong sequence", data(4), 5, PacketKind::Bad},
        {"data with byte 115 not 0", wrongEnd, 0, PacketKind::Bad},
        {"status", MakeStatusPacket(READY), 3, PacketKind::Status},
        {"status with byte 115 0", statusLookingLikeData, 0, PacketKind::Status},
        {"neither", garbage, 0, PacketKind::Bad},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ClassifyPacket(c.packet, c.counter), c.kind) << c.name;
    }
}

TEST(Protocol, DataPacketsCarryTheComplementOfTheirSequence) {
    const std::vector<std::uint8_t> payload(200, 0x42);
    const Packet packet = MakeDataPacket(3, payload);
    EXPECT_EQ(packet[1], 3);
    EXPECT_EQ(packet[2], 253);
    EXPECT_EQ(packet[3], 0x42);
    EXPECT_EQ(packet[114], 0x42);
    EXPECT_EQ(packet[115], 0);
    EXPECT_EQ(MakeDataPacket(0, {})[2], 0);
}

TEST(Protocol, UploadHeadersCarryDateFillersAndCount) {
    const UploadDate in2002{2002, 5, 17, 14, 5};
    const Packet header = MakeUploadHeader(0, true, 0x01020304, &in2002);
    EXPECT_EQ(header[0], 0x01);
    EXPECT_EQ(header[1], 0);
    EXPECT_EQ(header[2], 0);
    EXPECT_EQ(header[3], 1);
    EXPECT_EQ(ReadBe32(header, 4), 0x01020304u);
    EXPECT_EQ(header[8], 8);
    EXPECT_EQ(header[21], 21);
    EXPECT_EQ((std::vector<std::uint8_t>(header.begin() + 22, header.begin() + 27)),
              (std::vector<std::uint8_t>{102, 5, 17, 14, 5}));
    EXPECT_EQ(header[27], 27);
    EXPECT_EQ(header[114], 114);
    EXPECT_EQ(header[115], 0);
    const UploadDate newYear2000{2000, 1, 1, 0, 0};
    const Packet first = MakeUploadHeader(0, false, 10, &newYear2000);
    EXPECT_EQ(first[3], 0);
    EXPECT_EQ(first[22], 100);
    EXPECT_EQ(first[23], 1);
    EXPECT_EQ(first[24], 1);
    const Packet second = MakeUploadHeader(0, true, 10, nullptr);
    for (std::size_t i = 22; i <= 26; ++i) {
        EXPECT_EQ(second[i], i);
    }
}

TEST(Protocol, RetryRuleRestartsOnTheEleventhBadPacketThenNaksAgain) {
    const RetryRule rule{INDEX_RESEND};
    std::uint8_t retryCount = 0;
    std::vector<std::uint8_t> answers;
    for (int i = 0; i < 12; ++i) {
        answers.push_back(rule.AnswerByte(rule.OnBadPacket(retryCount)));
    }
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(answers[i], NAK) << i;
    }
    EXPECT_EQ(answers[10], INDEX_RESEND);
    EXPECT_EQ(answers[11], NAK);
    EXPECT_EQ(retryCount, 1);
}

}  // namespace
}  // namespace fotolyx
