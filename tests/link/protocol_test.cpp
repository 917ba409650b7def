// The protocol's packets and bytes, and the line trace that names them.
#include "link/protocol.h"

#include <gtest/gtest.h>

#include <sstream>
#include <tuple>
#include <vector>

#include "link/line_trace.h"
#include "support/fakes.h"

namespace fotolyx {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(Protocol, PictureNumbersGoOutUnitsFirstAndByteCountsNeedOneMorePacket) {
    EXPECT_EQ(PictureNumberDigits(125), (std::array<std::uint8_t, 3>{0xA5, 0xB2, 0xC1}));
    EXPECT_EQ(PictureNumberDigits(999), (std::array<std::uint8_t, 3>{0xA9, 0xB9, 0xC9}));
    for (const auto& [bytes, packets] : {std::pair{0u, 1u}, {111u, 1u}, {112u, 2u}, {224u, 3u}}) {
        EXPECT_EQ(DataPacketCount(bytes), packets) << bytes;
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

// Data packets carry their sequence's complement; upload headers a date (or fillers) and a count.
TEST(Protocol, DataPacketsAndUploadHeadersAreLaidOutByteForByte) {
    const Packet packet = MakeDataPacket(3, Bytes(200, 0x42));
    EXPECT_EQ(Bytes(packet.begin() + 1, packet.begin() + 4), (Bytes{3, 253, 0x42}));
    EXPECT_EQ(std::tuple(packet[114], packet[115], MakeDataPacket(0, {})[2]),
              std::tuple(0x42, 0, 0));
    const UploadDate in2002{2002, 5, 17, 14, 5};
    const Packet header = MakeUploadHeader(0, true, 0x01020304, &in2002);
    EXPECT_EQ(Bytes(header.begin(), header.begin() + 9), (Bytes{1, 0, 0, 1, 1, 2, 3, 4, 8}));
    EXPECT_EQ(Bytes(header.begin() + 21, header.begin() + 28), (Bytes{21, 102, 5, 17, 14, 5, 27}));
    EXPECT_EQ(std::tuple(header[114], header[115]), std::tuple(114, 0));
    EXPECT_EQ(MakeUploadHeader(0, false, 10, &in2002)[3], 0);
    const Packet undated = MakeUploadHeader(0, true, 10, nullptr);
    EXPECT_EQ(Bytes(undated.begin() + 22, undated.begin() + 27), (Bytes{22, 23, 24, 25, 26}));
}

// A packet of kind with its sequence and complement, then the bytes given at their offsets.
Bytes TracePacket(std::uint8_t kind, std::uint8_t sequence,
                  std::initializer_list<std::pair<std::size_t, std::uint8_t>> bytes = {}) {
    Bytes packet(116, 0);
    packet[0] = kind;
    packet[1] = sequence;
    packet[2] = static_cast<std::uint8_t>(256 - sequence);
    for (const auto& [offset, value] : bytes) {
        packet[offset] = value;
    }
    return packet;
}

TEST(LineTrace, LabelsNameCommandsAndPackets) {
    const Bytes status =
        TracePacket(0x10, 0, {{4, '4'}, {5, '6'}, {6, '2'}, {8, 0xA0}, {114, 0x72}});
    struct Case {
        Bytes bytes;
        const char* expected;
    };
    const Case cases[] = {
        {{0x2A}, "IDENTIFY"},
        {{0xB4}, "DIGIT_TENS 4"},
        {{0x06}, "ACK"},
        {{0x7F}, "command 7F"},
        {status, "status seq 0 MODE_CAMERA model 462"},
        {TracePacket(0x01, 0, {{5, 1}, {6, 2}, {7, 3}}), "data seq 0 header count 66051"},
        {TracePacket(0x01, 7, {{115, 0x55}}), "data seq 7 end 55 (not valid)"},
        {TracePacket(0x01, 3, {{2, 0}}), "data seq 3 (sequence complement wrong)"},
        {TracePacket(0x33, 0), "unknown kind 33"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.bytes.size() == 1 ? LabelCommand(c.bytes[0]) : LabelPacket(c.bytes),
                  c.expected);
    }
}

TEST(LineTrace, OnlyWellFormedPcAndCamLinesAreRecords) {
    struct Case {
        const char* line;
        bool record;
        bool bad;
        Bytes bytes;
    };
    const Case cases[] = {
        {"12.500 pc 2A ; IDENTIFY", true, false, {0x2A}},
        {"0.1 cam 10 ff 0A", true, false, {0x10, 0xFF, 0x0A}},
        {"3.000 speed 115200", false, false, {}},
        {"3.000 pc 2", false, true, {}},
        {"3.000 cam 1G", false, true, {}},
        {"soon pc 2A", false, true, {}},
    };
    for (const Case& c : cases) {
        bool bad = false;
        const auto record = ParseTraceLine(c.line, bad);
        EXPECT_EQ(std::tuple(record.has_value(), bad), std::tuple(c.record, c.bad)) << c.line;
        EXPECT_EQ(record ? record->bytes : Bytes{}, c.bytes) << c.line;
    }
}

// A label only once a whole packet has passed; closing the trace closes the line under it.
TEST(LineTrace, TracesWhatPassesAndPassesItOn) {
    testing::ScriptedLine inner;
    std::ostringstream out;
    TracingLine line(inner, &out);
    ASSERT_EQ(line.Open(PORT_COM1), LineOpenResult::Opened);
    line.Write(Bytes{0x2A});
    EXPECT_EQ(inner.written, Bytes{0x2A});
    line.SetBaudRate(115200);
    const Bytes status = TracePacket(0x10, 0, {{8, 0x80}, {114, 0x72}});
    inner.incoming.assign(status.begin(), status.end());
    Bytes buffer(60);
    EXPECT_EQ(line.Read(buffer), 60u);
    EXPECT_EQ(out.str().find("# status"), std::string::npos);
    EXPECT_EQ(line.Read(buffer), 56u);
    const std::string text = out.str();
    EXPECT_TRUE(text.starts_with("# fotolyx line trace 1\n")) << text;
    for (const char* part :
         {" cam 10 00 00 ", " # status seq 0 READY", " pc 2A ; IDENTIFY\n", " speed 115200"}) {
        EXPECT_NE(text.find(part), std::string::npos) << part << '\n' << text;
    }
    line.Close();
    EXPECT_FALSE(inner.IsOpen());
    EXPECT_FALSE(line.IsOpen());
}

}  // namespace
}  // namespace fotolyx
