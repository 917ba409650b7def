#include "camsim/uart_line.h"

#include <algorithm>

namespace fotolyx::camsim {

namespace {

constexpr int FRAME_BITS = 10;  // start, 8 data bits, stop
constexpr int STOP_BIT = 9;
constexpr std::int64_t NS_PER_US = 1000;

// The bit time of a speed, a tenth of ByteTime so that a frame lasts exactly ByteTime.
std::int64_t BitNs(std::uint32_t baud) {
    return ByteTime(baud) * NS_PER_US / FRAME_BITS;
}

bool BitLevel(std::uint8_t byte, int bit) {
    if (bit == 0) {
        return false;
    }
    if (bit == STOP_BIT) {
        return true;
    }
    return ((byte >> (bit - 1)) & 1) != 0;
}

Micros CeilMicros(std::int64_t ns) {
    return (ns + NS_PER_US - 1) / NS_PER_US;
}

}  // namespace

UartWire::UartWire(Micros jitter, std::uint64_t seed) : jitter_(jitter), random_(seed) {}

Micros UartWire::Put(std::uint8_t byte, std::uint32_t baud, Micros earliest) {
    Micros start = std::max(earliest, busyUntil_);
    if (jitter_ > 0) {
        start += static_cast<Micros>(random_() % static_cast<std::uint64_t>(jitter_ + 1));
    }
    frames_.push_back({start * NS_PER_US, BitNs(baud), byte});
    busyUntil_ = start + ByteTime(baud);
    return busyUntil_;
}

void UartWire::Clear() {
    frames_.clear();
    searchFromNs_ = busyUntil_ * NS_PER_US;
}

// The line's level at a time: low only inside a frame's low bits; idle is high.
bool UartWire::Level(std::int64_t ns) const {
    auto after = std::upper_bound(frames_.begin(), frames_.end(), ns,
                                  [](std::int64_t t, const Frame& f) { return t < f.startNs; });
    if (after == frames_.begin()) {
        return true;
    }
    const Frame& frame = *std::prev(after);
    const std::int64_t bit = (ns - frame.startNs) / frame.bitNs;
    return bit >= FRAME_BITS || BitLevel(frame.byte, static_cast<int>(bit));
}

// The first time from fromNs on at which the line is low.
std::optional<std::int64_t> UartWire::NextLow(std::int64_t fromNs) const {
    auto next = std::upper_bound(frames_.begin(), frames_.end(), fromNs,
                                 [](std::int64_t t, const Frame& f) { return t < f.startNs; });
    if (next != frames_.begin()) {
        const Frame& frame = *std::prev(next);
        for (auto bit = (fromNs - frame.startNs) / frame.bitNs; bit < FRAME_BITS; ++bit) {
            if (!BitLevel(frame.byte, static_cast<int>(bit))) {
                return std::max(fromNs, frame.startNs + bit * frame.bitNs);
            }
        }
    }
    if (next == frames_.end()) {
        return std::nullopt;
    }
    return next->startNs;
}

void UartWire::Read(std::uint32_t baud, Micros now, std::vector<Arrival>& out) {
    const std::int64_t bit = BitNs(baud);
    const std::int64_t nowNs = now * NS_PER_US;
    for (;;) {
        if (awaitingIdle_) {
            // After a framing error the receiver waits for the line to go idle before it looks
            // for the next start bit.
            while (searchFromNs_ < nowNs && !Level(searchFromNs_)) {
                searchFromNs_ += bit / 2;
            }
            if (!Level(searchFromNs_)) {
                break;
            }
            awaitingIdle_ = false;
        }
        const auto start = NextLow(searchFromNs_);
        if (!start || *start + FRAME_BITS * bit > nowNs) {
            break;
        }
        // The receiver samples the middle of each bit; a start bit that is high by then was a
        // glitch.
        if (Level(*start + bit / 2)) {
            searchFromNs_ = *start + bit / 2;
            continue;
        }
        std::uint8_t byte = 0;
        for (int i = 1; i < STOP_BIT; ++i) {
            if (Level(*start + i * bit + bit / 2)) {
                byte = static_cast<std::uint8_t>(byte | (1u << (i - 1)));
            }
        }
        const std::int64_t stopNs = *start + STOP_BIT * bit + bit / 2;
        out.push_back({byte, CeilMicros(*start + FRAME_BITS * bit)});
        searchFromNs_ = stopNs;
        awaitingIdle_ = !Level(stopNs);  // a framing error: the byte is kept as read
        while (!frames_.empty() &&
               frames_.front().startNs + FRAME_BITS * frames_.front().bitNs <= searchFromNs_) {
            frames_.pop_front();
        }
    }
}

std::optional<Micros> UartWire::Pending(std::uint32_t baud, Micros now) const {
    const auto start = NextLow(searchFromNs_);
    if (!start || *start > now * NS_PER_US) {
        return std::nullopt;
    }
    return CeilMicros(*start + FRAME_BITS * BitNs(baud));
}

std::optional<Micros> UartWire::NextRead(std::uint32_t baud) const {
    const auto start = NextLow(searchFromNs_);
    if (!start) {
        return std::nullopt;
    }
    return CeilMicros(*start + FRAME_BITS * BitNs(baud));
}

}  // namespace fotolyx::camsim
