#pragma once

#include <array>
#include <cstdint>

#include "link/protocol.h"
#include "ports/serial_line.h"

namespace fotolyx {

// The receive state and the link's bookkeeping, as the start-up leaves it.
struct LinkState {
    int SelectedPort = PORT_COM1;
    std::uint32_t CurrentBaudRate = 9600;
    std::array<std::uint8_t, PACKET_LENGTH> ReceiveBuffer{};
    std::int16_t ReceiveCount = 0;
    std::uint16_t ExpectedLength = PACKET_LENGTH;
    std::uint8_t TransferMode = 0;
    std::uint8_t SetupPhase = 1;
    std::uint8_t WaitingForData = 0;
    std::uint8_t RetryCount = 0;
};

}  // namespace fotolyx
