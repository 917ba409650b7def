#pragma once

#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <utility>

#include "ports/timers.h"

namespace fotolyx::host {

// The Timers port on Qt's event loop: one single-shot QTimer per (window, id).
class QtTimers final : public Timers {
  public:
    QtTimers() = default;
    QtTimers(const QtTimers&) = delete;
    QtTimers& operator=(const QtTimers&) = delete;

    // Called when a timer fires (it has already stopped).
    std::function<void(WindowId window, int id)> onTimer;

    void StartTimer(WindowId window, int id, int milliseconds) override;
    void KillTimer(WindowId window, int id) override;
    bool TimerRunning(WindowId window, int id) const;
    // Stops every timer of a window (the window is going away).
    void KillWindowTimers(WindowId window);

  private:
    std::map<std::pair<WindowId, int>, std::unique_ptr<QTimer>> timers_;
};

}  // namespace fotolyx::host
