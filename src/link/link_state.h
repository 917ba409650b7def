#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "link/protocol.h"
#include "ports/serial_line.h"

namespace fotolyx {

// The transfer under way: it picks the handler that takes the camera's data packets.
enum TransferMode : std::uint8_t {
    TRANSFER_INDEX = 0,       // the picture index, deletion answers included
    TRANSFER_DOWNLOAD = 1,    // pictures into Capture windows
    TRANSFER_LIVE_VIEW = 2,   // the Live image window's preview
    TRANSFER_LIVE_PHOTO = 3,  // the Live image window's large photo
    TRANSFER_UPLOAD = 4,      // a picture sent to the camera; answers are one byte
};
inline constexpr std::size_t TRANSFER_MODE_COUNT = 5;

// The receive state and the link's bookkeeping, as the start-up leaves it.
struct LinkState {
    int SelectedPort = PORT_COM1;
    std::uint32_t CurrentBaudRate = 9600;
    std::array<std::uint8_t, PACKET_LENGTH> ReceiveBuffer{};
    std::int16_t ReceiveCount = 0;
    std::uint16_t ExpectedLength = PACKET_LENGTH;
    fotolyx::TransferMode TransferMode = TRANSFER_INDEX;
    std::uint8_t SetupPhase = 1;
    std::uint8_t WaitingForData = 0;
    std::uint8_t RetryCount = 0;

    // Connection set-up and recovery.
    std::uint8_t ModelVariant = 0;        // 0 for model code "462", 1 for "318"
    std::uint32_t SavedLineSpeed = 0;     // the line speed when MODE_CAMERA arrived
    std::uint8_t ResetupPending = 0;      // set by Reload and Reconnect, cleared by MODE_CAMERA
    std::uint32_t CancelConfirmed = 0;    // answer of COM_CANCELOK, 1 = OK
    std::uint8_t WatchdogArmed = 1;       // shared by the window watchdogs
    std::uint32_t LineSpeed = BAUD_9600;  // the speed the line is set to now
    // The identification answer's V and picture count P, for sizing the thumbnail store.
    std::array<char, 3> IdentifiedModelCode{};
    std::uint32_t IdentifiedValue = 0;
    std::uint16_t IdentifiedPictureCount = 0;
};

}  // namespace fotolyx
