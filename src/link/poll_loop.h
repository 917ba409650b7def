#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <utility>

#include "ports/timers.h"

namespace fotolyx {

// A plain event loop for hosts without a GUI toolkit: real one-shot timers, one watched file
// descriptor (the serial line) and one the host wakes it with, on one thread.
class PollLoop final : public Timers {
  public:
    using Clock = std::chrono::steady_clock;

    std::function<void(WindowId window, int id)> onTimer;
    std::function<int()> watchedFd;  // the descriptor to watch now, or -1
    std::function<void()> onReadable;
    std::function<void()> onHangUp;
    // A second descriptor the host may watch (its signal pipe), or -1; onWake when readable.
    std::function<int()> wakeFd;
    std::function<void()> onWake;

    void StartTimer(WindowId window, int id, int milliseconds) override;
    void KillTimer(WindowId window, int id) override;
    bool TimerRunning(WindowId window, int id) const { return timers_.count({window, id}) != 0; }

    // Waits at most maxWait for the descriptor or the next timer, then handles what is due.
    void RunOnce(std::chrono::milliseconds maxWait);
    // Runs until done() is true (true) or limit has passed (false).
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);

  private:
    std::map<std::pair<WindowId, int>, Clock::time_point> timers_;
};

}  // namespace fotolyx
