#pragma once

#include <functional>

#include "link/link_state.h"
#include "ports/serial_line.h"
#include "ports/timers.h"

namespace fotolyx {

inline constexpr int WATCHDOG_TIMER = 1;
inline constexpr int WATCHDOG_NAK_PERIOD_MS = 400;

// How one waiting window watches the line with its timer 1.
struct WatchdogConfig {
    WindowId window = 0;
    int firstPeriodMs = 1500;
    int runningPeriodMs = 400;
    std::function<bool()> runsWhile;        // the window's transfer is still under way
    std::function<bool()> countsAsTraffic;  // optional: a tick that counts as traffic anyway
    std::function<void()> extraOnSilence;   // optional: done before the dialog opens
    bool nakOnSilence = true;               // false: the dialog opens at the first silence
};

// The watchdog tick shared by the Preview, Capture, Live image and upload windows: traffic since
// the last tick rearms it; the first silence writes one NAK (and clears the half-received
// message); the next silence opens the disconnect dialog.
class Watchdog {
  public:
    Watchdog(WatchdogConfig config, LinkState& link, SerialLine& line, Timers& timers,
             std::function<void()> openDisconnectDialog)
        : config_(std::move(config)),
          link_(link),
          line_(line),
          timers_(timers),
          openDisconnectDialog_(std::move(openDisconnectDialog)) {}

    // Starts the timer with the first period (the caller sets WaitingForData).
    void Arm();
    // The window's timer 1 fired.
    void Tick();

    const WatchdogConfig& config() const { return config_; }

  private:
    void Restart(int milliseconds);
    void Silence();

    WatchdogConfig config_;
    LinkState& link_;
    SerialLine& line_;
    Timers& timers_;
    std::function<void()> openDisconnectDialog_;
};

}  // namespace fotolyx
