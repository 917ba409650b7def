#include "link/receiver.h"

#include <algorithm>

namespace fotolyx {

namespace {

// The message length in force, bounded by the buffer so a wrong setting cannot overrun it.
std::size_t MessageLength(const LinkState& link) {
    return std::clamp<std::size_t>(link.ExpectedLength, 1, link.ReceiveBuffer.size());
}

}  // namespace

void Receiver::LineOpened() {
    hungUp_ = false;
    link_.ReceiveCount = 0;
}

void Receiver::OnReadable() {
    if (dispatching_ || !Watching()) {
        return;
    }
    for (;;) {
        const std::size_t length = MessageLength(link_);
        const auto have = static_cast<std::size_t>(std::max<int>(link_.ReceiveCount, 0));
        if (have < length) {
            const std::size_t got =
                line_.Read(std::span(link_.ReceiveBuffer).subspan(have, length - have));
            if (got == 0) {
                return;
            }
            link_.ReceiveCount = static_cast<std::int16_t>(have + got);
            if (have + got < length) {
                continue;
            }
        }
        Dispatch();
        if (!Watching()) {
            return;
        }
    }
}

void Receiver::OnHangUp() {
    if (hungUp_ || !line_.IsOpen()) {
        return;
    }
    hungUp_ = true;
    if (link_.ExpectedLength != PACKET_LENGTH) {
        return;
    }
    if (dispatching_) {
        zeroPacketPending_ = true;
        return;
    }
    DeliverZeroPacket();
}

void Receiver::DeliverZeroPacket() {
    zeroPacketPending_ = false;
    link_.ReceiveBuffer.fill(0);
    link_.ReceiveCount = static_cast<std::int16_t>(PACKET_LENGTH);
    line_.Purge();
    Dispatch();
}

void Receiver::Dispatch() {
    link_.ReceiveCount = 0;
    const Handler* handler = nullptr;
    if (link_.SetupPhase != 0) {
        handler = &setupHandler;
    } else if (link_.TransferMode < transferHandlers.size()) {
        handler = &transferHandlers[link_.TransferMode];
    }
    if (handler == nullptr || !*handler) {
        return;
    }
    dispatching_ = true;
    (*handler)();
    dispatching_ = false;
    if (zeroPacketPending_) {
        DeliverZeroPacket();
    }
}

}  // namespace fotolyx
