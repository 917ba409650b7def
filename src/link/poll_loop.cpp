#include "link/poll_loop.h"

#include <poll.h>

#include <algorithm>
#include <array>
#include <cerrno>

namespace fotolyx {

void PollLoop::StartTimer(WindowId window, int id, int milliseconds) {
    timers_[{window, id}] = Clock::now() + std::chrono::milliseconds(std::max(milliseconds, 0));
}

void PollLoop::KillTimer(WindowId window, int id) {
    timers_.erase({window, id});
}

void PollLoop::RunOnce(std::chrono::milliseconds maxWait) {
    auto wait = maxWait;
    const auto now = Clock::now();
    for (const auto& [key, due] : timers_) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(due - now);
        wait = std::clamp(left, std::chrono::milliseconds(0), wait);
    }
    const int fd = watchedFd ? watchedFd() : -1;
    const int wake = wakeFd ? wakeFd() : -1;
    // A descriptor of -1 is left out by poll.
    std::array<pollfd, 2> watches{{{wake, POLLIN, 0}, {fd, POLLIN, 0}}};
    const int ready = ::poll(watches.data(), watches.size(), static_cast<int>(wait.count()));
    if (ready > 0 && (watches[0].revents & POLLIN) != 0 && onWake) {
        onWake();
    }
    const pollfd& watch = watches[1];
    if (ready > 0) {
        // Take what is queued first; an error or hang-up reported with it comes after.
        if ((watch.revents & POLLIN) != 0 && onReadable) {
            onReadable();
        }
        if ((watch.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0 && onHangUp) {
            onHangUp();
        }
    }
    // Fire every timer that is due, earliest first; a handler may start or kill others.
    for (;;) {
        const auto current = Clock::now();
        auto next = timers_.end();
        for (auto it = timers_.begin(); it != timers_.end(); ++it) {
            if (it->second <= current && (next == timers_.end() || it->second < next->second)) {
                next = it;
            }
        }
        if (next == timers_.end()) {
            return;
        }
        const auto [window, id] = next->first;
        // One-shot: a timer that its handler does not restart does not fire again.
        timers_.erase(next);
        if (onTimer) {
            onTimer(window, id);
        }
    }
}

bool PollLoop::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    while (!done()) {
        const auto now = Clock::now();
        if (now >= end) {
            return false;
        }
        RunOnce(std::min(std::chrono::ceil<std::chrono::milliseconds>(end - now),
                         std::chrono::milliseconds(1000)));
    }
    return true;
}

}  // namespace fotolyx
