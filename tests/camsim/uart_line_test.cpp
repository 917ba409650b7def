#include "camsim/uart_line.h"

#include <gtest/gtest.h>

namespace fotolyx::camsim {
namespace {

std::vector<std::uint8_t> Bytes(const std::vector<Arrival>& arrivals) {
    std::vector<std::uint8_t> bytes;
    for (const Arrival& arrival : arrivals) {
        bytes.push_back(arrival.byte);
    }
    return bytes;
}

// Sends bytes back to back at one speed and reads them at another once the line is quiet.
std::vector<std::uint8_t> ReadAt(const std::vector<std::uint8_t>& sent, std::uint32_t sendBaud,
                                 std::uint32_t readBaud) {
    UartWire wire;
    for (const std::uint8_t byte : sent) {
        wire.Put(byte, sendBaud, 0);
    }
    std::vector<Arrival> arrivals;
    wire.Read(readBaud, 1'000'000, arrivals);
    return Bytes(arrivals);
}

// The expected bytes are worked out by hand from the bit times (a 9600 bit lasts 104.2 us, a
// 115200 bit 8.7 us) and a receiver that samples the middle of each of its bits.
TEST(UartWire, AReceiverAtAnotherSpeedReadsWhatItsSamplesSee) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> sent;
        std::uint32_t sendBaud;
        std::uint32_t readBaud;
        std::vector<std::uint8_t> read;
    };
    const std::vector<Case> cases = {
        {"matching speeds pass every byte",
         {0x2A, 0x00, 0xFF, 0x10},
         9600,
         9600,
         {0x2A, 0x00, 0xFF, 0x10}},
        {"matching at 115200", {0x01, 0x74, 0x80}, 115200, 115200, {0x01, 0x74, 0x80}},
        // Every low 9600 bit lasts longer than a whole 115200 frame: each low run is one 0x00
        // with a framing error, and the receiver waits for the line to go high again.
        {"a 0x55 sent slowly and read fast is five bytes",
         {0x55},
         9600,
         115200,
         {0x00, 0x00, 0x00, 0x00, 0x00}},
        {"a 0xFF sent slowly and read fast: only its start bit", {0xFF}, 9600, 115200, {0x00}},
        {"a 0x00 sent slowly and read fast is one byte", {0x00}, 9600, 115200, {0x00}},
        // Twelve frames at 115200 last 1044 us, one 9600 frame 1042 us: the receiver's samples
        // at 52, 156, 261, ... us fall on the fast frames' bits 5, 7, 9 (stop, high), 1, 3, 5, 7,
        // 9 (high), 1 and, for its own stop bit, 3 (low).
        {"twelve bytes sent fast and read slowly are one",
         std::vector<std::uint8_t>(12, 0x00),
         115200,
         9600,
         {0x42}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ReadAt(c.sent, c.sendBaud, c.readBaud), c.read) << c.name;
    }
}

TEST(UartWire, BytesArriveWhenTheirStopBitEndsAndNotBefore) {
    UartWire wire;
    EXPECT_EQ(wire.Put(0x2A, 9600, 500), 500 + 1042);
    EXPECT_EQ(wire.Put(0x06, 9600, 0), 500 + 2 * 1042);  // after the byte before it
    std::vector<Arrival> arrivals;
    wire.Read(9600, 1541, arrivals);
    EXPECT_TRUE(arrivals.empty());
    EXPECT_EQ(wire.NextRead(9600), 1542);
    wire.Read(9600, 2584, arrivals);
    ASSERT_EQ(arrivals.size(), 2u);
    EXPECT_EQ(arrivals[0].at, 1542);
    EXPECT_EQ(arrivals[1].at, 2584);
    EXPECT_EQ(arrivals[1].byte, 0x06);
    EXPECT_FALSE(wire.NextRead(9600).has_value());
}

TEST(AdapterDelivery, BytesWaitForTheNextRunOutOfTheLatencyTimer) {
    struct Case {
        Micros at;
        Micros latency;
        Micros delivered;
    };
    const Case cases[] = {
        {0, 16'000, 0},           {1, 16'000, 16'000}, {16'000, 16'000, 16'000},
        {16'001, 16'000, 32'000}, {999, 1'000, 1'000}, {12'345, 0, 12'345},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(AdapterDelivery(c.at, c.latency), c.delivered) << c.at << " / " << c.latency;
    }
}

}  // namespace
}  // namespace fotolyx::camsim
