#include "host/qt_timers.h"

namespace fotolyx::host {

void QtTimers::StartTimer(WindowId window, int id, int milliseconds) {
    auto& timer = timers_[{window, id}];
    if (!timer) {
        timer = std::make_unique<QTimer>();
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
        QObject::connect(timer.get(), &QTimer::timeout, [this, window, id] {
            if (onTimer) {
                onTimer(window, id);
            }
        });
    }
    timer->start(milliseconds < 0 ? 0 : milliseconds);
}

void QtTimers::KillTimer(WindowId window, int id) {
    const auto found = timers_.find({window, id});
    if (found != timers_.end()) {
        found->second->stop();
    }
}

bool QtTimers::TimerRunning(WindowId window, int id) const {
    const auto found = timers_.find({window, id});
    return found != timers_.end() && found->second->isActive();
}

void QtTimers::KillWindowTimers(WindowId window) {
    for (auto& [key, timer] : timers_) {
        if (key.first == window) {
            timer->stop();
        }
    }
}

}  // namespace fotolyx::host
