#pragma once

#include <cstdint>

namespace fotolyx {

// Windows are named by small numbers the core hands out; the frame is always 1.
using WindowId = std::uint32_t;
inline constexpr WindowId FRAME_WINDOW = 1;

// One-shot timers keyed by (window, id). Starting a running timer restarts it; a killed timer
// never fires. The host calls back into the program when one fires.
class Timers {
public:
    virtual ~Timers() = default;
    virtual void StartTimer(WindowId window, int id, int milliseconds) = 0;
    virtual void KillTimer(WindowId window, int id) = 0;
};

}  // namespace fotolyx
