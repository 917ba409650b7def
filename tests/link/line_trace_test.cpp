#include "link/line_trace.h"

#include <gtest/gtest.h>

#include <sstream>

#include "link/protocol.h"
#include "support/fakes.h"

namespace fotolyx {
namespace {

std::vector<std::uint8_t> Packet(std::uint8_t kind, std::uint8_t sequence) {
    std::vector<std::uint8_t> packet(116, 0);
    packet[0] = kind;
    packet[1] = sequence;
    packet[2] = static_cast<std::uint8_t>(256 - sequence);
    return packet;
}

TEST(LineTrace, LabelsNameCommandsAndPackets) {
    auto status = Packet(0x10, 0);
    status[4] = '4';
    status[5] = '6';
    status[6] = '2';
    status[8] = 0xA0;
    status[114] = 0x72;
    auto header = Packet(0x01, 0);
    header[4] = 0x00;
    header[5] = 0x01;
    header[6] = 0x02;
    header[7] = 0x03;
    auto badEnd = Packet(0x01, 7);
    badEnd[115] = 0x55;
    auto badComplement = Packet(0x01, 3);
    badComplement[2] = 0;
    struct Case {
        std::vector<std::uint8_t> bytes;
        const char* expected;
    };
    const Case cases[] = {
        {{0x2A}, "IDENTIFY"},
        {{0xB4}, "DIGIT_TENS 4"},
        {{0xA0}, "DIGIT_UNITS 0"},
        {{0x06}, "ACK"},
        {{0x7F}, "command 7F"},
        {status, "status seq 0 MODE_CAMERA model 462"},
        {header, "data seq 0 header count 66051"},
        {badEnd, "data seq 7 end 55 (not valid)"},
        {badComplement, "data seq 3 (sequence complement wrong)"},
        {Packet(0x33, 0), "unknown kind 33"},
    };
    for (const Case& c : cases) {
        const std::string label =
            c.bytes.size() == 1 ? LabelCommand(c.bytes[0]) : LabelPacket(c.bytes);
        EXPECT_EQ(label, c.expected);
    }
}

TEST(LineTrace, OnlyWellFormedPcAndCamLinesAreRecords) {
    struct Case {
        const char* line;
        bool record;
        bool bad;
        std::vector<std::uint8_t> bytes;
    };
    const Case cases[] = {
        {"12.500 pc 2A ; IDENTIFY", true, false, {0x2A}},
        {"0.1 cam 10 ff 0A", true, false, {0x10, 0xFF, 0x0A}},
        {"3.000 speed 115200", false, false, {}},
        {"3.000 # status seq 0 READY", false, false, {}},
        {"3.000 open COM1 /dev/ttyUSB0 opened", false, false, {}},
        {"3.000 pc 2", false, true, {}},
        {"3.000 cam 1G", false, true, {}},
        {"3.000 pc", false, true, {}},
        {"soon pc 2A", false, true, {}},
    };
    for (const Case& c : cases) {
        bool bad = false;
        const auto record = ParseTraceLine(c.line, bad);
        EXPECT_EQ(record.has_value(), c.record) << c.line;
        EXPECT_EQ(bad, c.bad) << c.line;
        if (record) {
            EXPECT_EQ(record->bytes, c.bytes) << c.line;
        }
    }
}

TEST(LineTrace, TracesWhatPassesAndPassesItOn) {
    testing::ScriptedLine inner;
    std::ostringstream out;
    TracingLine line(inner, &out);
    line.Write(std::vector<std::uint8_t>{0x2A});
    EXPECT_EQ(inner.written, (std::vector<std::uint8_t>{0x2A}));
    line.SetBaudRate(115200);
    auto status = Packet(0x10, 0);
    status[8] = 0x80;
    status[114] = 0x72;
    inner.incoming.assign(status.begin(), status.end());
    std::vector<std::uint8_t> buffer(60);
    EXPECT_EQ(line.Read(buffer), 60u);  // part of a packet: no label yet
    EXPECT_EQ(out.str().find("# status"), std::string::npos);
    EXPECT_EQ(line.Read(buffer), 56u);
    const std::string text = out.str();
    EXPECT_NE(text.find(" cam 10 00 00 "), std::string::npos) << text;
    EXPECT_NE(text.find(" # status seq 0 READY"), std::string::npos) << text;
    EXPECT_TRUE(text.starts_with("# fotolyx line trace 1\n")) << text;
    EXPECT_NE(text.find(" pc 2A ; IDENTIFY\n"), std::string::npos) << text;
    EXPECT_NE(text.find(" speed 115200"), std::string::npos) << text;
}

}  // namespace
}  // namespace fotolyx
