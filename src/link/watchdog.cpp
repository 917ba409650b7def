#include "link/watchdog.h"

namespace fotolyx {

void Watchdog::Arm() {
    Restart(config_.firstPeriodMs);
}

void Watchdog::Restart(int milliseconds) {
    timers_.StartTimer(config_.window, WATCHDOG_TIMER, milliseconds);
}

void Watchdog::Tick() {
    timers_.KillTimer(config_.window, WATCHDOG_TIMER);
    if (!config_.runsWhile || !config_.runsWhile()) {
        return;
    }
    const bool traffic =
        link_.WaitingForData == 0 || (config_.countsAsTraffic && config_.countsAsTraffic());
    if (traffic) {
        link_.WatchdogArmed = 1;
        link_.WaitingForData = 1;
        Restart(config_.runningPeriodMs);
        return;
    }
    Silence();
}

void Watchdog::Silence() {
    if (config_.nakOnSilence && link_.WatchdogArmed != 0) {
        link_.ReceiveBuffer.fill(0);
        link_.ReceiveCount = 0;
        link_.WatchdogArmed = 0;
        const std::uint8_t nak = NAK;
        line_.Write({&nak, 1});
        Restart(WATCHDOG_NAK_PERIOD_MS);
        return;
    }
    link_.WatchdogArmed = 1;
    if (config_.extraOnSilence) {
        config_.extraOnSilence();
    }
    if (openDisconnectDialog_) {
        openDisconnectDialog_();
    }
}

}  // namespace fotolyx
