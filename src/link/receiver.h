#pragma once

#include <array>
#include <cstdint>
#include <functional>

#include "link/link_state.h"
#include "ports/serial_line.h"

namespace fotolyx {

// Collects camera messages from the line into the ReceiveBuffer and hands each complete one to
// a handler: the set-up handler while SetupPhase is not 0, otherwise the handler of the
// TransferMode. The host calls OnReadable when the line has bytes and OnHangUp when the line
// reports an error or hang-up; it watches the line only while Watching() is true.
class Receiver {
  public:
    using Handler = std::function<void()>;

    Receiver(LinkState& link, SerialLine& line) : link_(link), line_(line) {}

    // Filled by the program's wiring.
    Handler setupHandler;
    std::array<Handler, TRANSFER_MODE_COUNT> transferHandlers;

    // A port was (re)opened: start collecting from an empty buffer and watch the line again.
    void LineOpened();
    // Reads what the line has queued, at most the room left in the current message each time,
    // and dispatches every completed message. Does nothing while a handler runs.
    void OnReadable();
    // The line reported an error or hang-up: while whole packets are expected the handler gets
    // one all-zero packet; the line is no longer watched until it is opened again.
    void OnHangUp();

    bool Watching() const { return line_.IsOpen() && !hungUp_; }
    bool HungUp() const { return hungUp_; }
    bool Dispatching() const { return dispatching_; }

  private:
    void Dispatch();
    void DeliverZeroPacket();

    LinkState& link_;
    SerialLine& line_;
    bool hungUp_ = false;
    bool dispatching_ = false;
    bool zeroPacketPending_ = false;
};

}  // namespace fotolyx
