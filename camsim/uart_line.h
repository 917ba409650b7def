#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <random>
#include <vector>

#include "camsim/sim_camera.h"

namespace fotolyx::camsim {

// How the wire between the camera and the PC behaves beyond its speed.
struct LineOptions {
    // Each byte leaves its sender up to this much later than it could (a busy firmware, a slow
    // driver). 0: bytes follow each other back to back.
    Micros jitter = 0;
    // The PC's USB adapter hands received bytes to the PC in bursts: when its latency timer
    // (this period) runs out or its buffer is full. 0: every byte as soon as it has arrived.
    Micros adapterLatency = 0;
    std::uint64_t seed = 1;
};

// A byte as a receiver read it, and when it had it.
struct Arrival {
    std::uint8_t byte = 0;
    Micros at = 0;
};

// One direction of a serial wire: the sender's UART puts frames (start bit, 8 data bits least
// significant first, stop bit) on it at the sender's speed, and the receiver's UART samples it at
// its own speed. At matching speeds every byte arrives as it was sent, when its stop bit ends. At
// a mismatch the receiver finds start bits where the data has low bits, samples bits in the
// wrong places and keeps what it read, framing errors and all: a slow byte read fast turns into
// several bytes, fast bytes read slowly into fewer.
class UartWire {
  public:
    explicit UartWire(Micros jitter = 0, std::uint64_t seed = 1);

    // Puts a byte on the wire no earlier than `earliest` and after the bytes before it; returns
    // when its stop bit ends.
    Micros Put(std::uint8_t byte, std::uint32_t baud, Micros earliest);
    // The bytes a receiver at `baud` has read completely by `now`, in order.
    void Read(std::uint32_t baud, Micros now, std::vector<Arrival>& out);
    // When a byte the receiver at `baud` has begun to read will be complete, if it has begun one.
    std::optional<Micros> Pending(std::uint32_t baud, Micros now) const;
    // When Read next has something for the receiver at `baud` (none: the wire is idle).
    std::optional<Micros> NextRead(std::uint32_t baud) const;
    void SetJitter(Micros jitter) { jitter_ = jitter; }
    // When the last byte put on the wire ends (0: none yet).
    Micros BusyUntil() const { return busyUntil_; }
    // Forgets everything on the wire (the port was closed or purged at its far end).
    void Clear();

  private:
    struct Frame {
        std::int64_t startNs;
        std::int64_t bitNs;
        std::uint8_t byte;
    };

    bool Level(std::int64_t ns) const;
    std::optional<std::int64_t> NextLow(std::int64_t fromNs) const;

    Micros jitter_;
    std::mt19937_64 random_;
    Micros busyUntil_ = 0;
    std::deque<Frame> frames_;
    std::int64_t searchFromNs_ = 0;  // where the receiver looks for its next start bit
    bool awaitingIdle_ = false;
};

// When the PC's USB adapter hands over a byte that arrived at `at`: at the next run-out of its
// latency timer, which runs out every `latency` (0: at once).
inline Micros AdapterDelivery(Micros at, Micros latency) {
    return latency <= 0 ? at : (at + latency - 1) / latency * latency;
}

}  // namespace fotolyx::camsim
