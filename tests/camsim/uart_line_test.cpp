#include "camsim/uart_line.h"

#include <gtest/gtest.h>

namespace fotolyx::camsim {
namespace {

// Worked out by hand from the bit times (9600: 104.2 us, 115200: 8.7 us), sampling mid-bit.
TEST(UartWire, AReceiverAtAnotherSpeedReadsWhatItsSamplesSee) {
    using Bytes = std::vector<std::uint8_t>;
    const std::tuple<Bytes, std::uint32_t, std::uint32_t, Bytes> cases[] = {
        {{0x2A, 0x00, 0xFF, 0x10}, 9600, 9600, {0x2A, 0x00, 0xFF, 0x10}},
        {{0x01, 0x74, 0x80}, 115200, 115200, {0x01, 0x74, 0x80}},
        // Every low 9600 bit outlasts a 115200 frame: each low run is one 0x00.
        {{0x55}, 9600, 115200, {0x00, 0x00, 0x00, 0x00, 0x00}},
        {{0xFF}, 9600, 115200, {0x00}},
        {{0x00}, 9600, 115200, {0x00}},
        // Twelve fast frames make one slow one, sampled on bits 5, 7, 9, 1, 3, 5, 7, 9, 1 and 3.
        {Bytes(12, 0x00), 115200, 9600, {0x42}},
    };
    for (const auto& [sent, sendBaud, readBaud, read] : cases) {
        UartWire wire;
        for (const std::uint8_t byte : sent) {
            wire.Put(byte, sendBaud, 0);
        }
        std::vector<Arrival> arrivals;
        wire.Read(readBaud, 1'000'000, arrivals);
        Bytes bytes;
        for (const Arrival& arrival : arrivals) {
            bytes.push_back(arrival.byte);
        }
        EXPECT_EQ(bytes, read) << sent.size() << " bytes at " << sendBaud;
    }
}

TEST(AdapterDelivery, BytesWaitForTheNextRunOutOfTheLatencyTimer) {
    const std::tuple<Micros, Micros, Micros> cases[] = {
        {0, 16'000, 0},           {1, 16'000, 16'000}, {16'000, 16'000, 16'000},
        {16'001, 16'000, 32'000}, {999, 1'000, 1'000}, {12'345, 0, 12'345},
    };
    for (const auto& [at, latency, delivered] : cases) {
        EXPECT_EQ(AdapterDelivery(at, latency), delivered) << at << " / " << latency;
    }
}

}  // namespace
}  // namespace fotolyx::camsim
