#include "support/virtual_loop.h"

#include <algorithm>

namespace fotolyx::testing {

namespace {

// Far more events than any session needs (a large photo is about 250,000 bytes).
constexpr std::uint64_t MAX_STEPS = 20'000'000;

}  // namespace

void VirtualLoop::StartTimer(WindowId window, int id, int milliseconds) {
    timers_[{window, id}] = {now_ + std::max(milliseconds, 0) * MS, order_++};
}

void VirtualLoop::KillTimer(WindowId window, int id) {
    timers_.erase({window, id});
}

int VirtualLoop::TimerLeftMs(WindowId window, int id) const {
    const auto it = timers_.find({window, id});
    return it == timers_.end() ? -1 : static_cast<int>((it->second.first - now_) / MS);
}

void VirtualLoop::At(Micros when, std::function<void()> action) {
    events_[{std::max(when, now_), order_++}] = std::move(action);
}

// Runs the earliest timer or event due by until; false when there is none.
bool VirtualLoop::Step(Micros until) {
    auto timer = timers_.end();
    for (auto it = timers_.begin(); it != timers_.end(); ++it) {
        if (timer == timers_.end() || it->second < timer->second) {
            timer = it;
        }
    }
    const auto event = events_.begin();
    const bool timerFirst =
        timer != timers_.end() && (event == events_.end() || timer->second < event->first);
    if (timerFirst) {
        if (timer->second.first > until) {
            return false;
        }
        now_ = timer->second.first;
        const auto [window, id] = timer->first;
        timers_.erase(timer);
        if (onTimer) {
            onTimer(window, id);
        }
        return true;
    }
    if (event == events_.end() || event->first.first > until) {
        return false;
    }
    now_ = event->first.first;
    auto action = std::move(event->second);
    events_.erase(event);
    action();
    return true;
}

void VirtualLoop::RunFor(int milliseconds) {
    const Micros until = now_ + milliseconds * MS;
    for (std::uint64_t steps = 0; steps < MAX_STEPS && Step(until); ++steps) {
    }
    now_ = until;
}

bool VirtualLoop::RunUntil(const std::function<bool()>& done, int limitMs) {
    const Micros until = now_ + limitMs * MS;
    // A chain of events that never lets time advance would otherwise hang the test.
    for (std::uint64_t steps = 0; !done(); ++steps) {
        if (steps == MAX_STEPS || !Step(until)) {
            now_ = until;
            return done();
        }
    }
    return true;
}

std::function<void(WindowId)> VirtualLoop::PaintWhenHandlerDone(
    std::function<void(WindowId)> paint) {
    return [this, paint = std::move(paint)](WindowId window) {
        if (pendingPaints_.insert(window).second) {
            At(now_, [this, paint, window] {
                pendingPaints_.erase(window);
                paint(window);
            });
        }
    };
}

camsim::SimCamera* SimulatedLine::Camera() const {
    const auto it = cameras_.find(port_);
    return open_ && it != cameras_.end() ? it->second : nullptr;
}

LineOpenResult SimulatedLine::Open(int portId) {
    Close();
    LineOpenResult result = LineOpenResult::Missing;
    const auto it = cameras_.find(portId);
    if (std::find(denied_.begin(), denied_.end(), portId) != denied_.end()) {
        result = LineOpenResult::PermissionDenied;
    } else if (it != cameras_.end() && (it->second == nullptr || !it->second->CablePulled())) {
        result = LineOpenResult::Opened;
    }
    openings_.push_back({loop_.Now(), portId, result});
    if (result == LineOpenResult::Opened) {
        open_ = true;
        port_ = portId;
        ++session_;
        held_.clear();
        baud_ = BAUD_9600;
        hungUp_ = false;
        incoming_.clear();
        // A fresh wire each way: what was on the old ones is lost.
        toCamera_ = camsim::UartWire(options.jitter, options.seed + 2 * session_);
        toPc_ = camsim::UartWire(options.jitter, options.seed + 2 * session_ + 1);
        if (camsim::SimCamera* camera = Camera()) {
            camera->TakeOutput();  // whatever it said while nobody listened is lost
        }
    }
    return result;
}

void SimulatedLine::Close() {
    open_ = false;
    incoming_.clear();
}

void SimulatedLine::Purge() {
    incoming_.clear();
    held_.clear();  // and what the adapter still held
}

void SimulatedLine::Write(std::span<const std::uint8_t> bytes) {
    if (!open_) {
        return;
    }
    toCamera_.SetJitter(options.jitter);
    for (const std::uint8_t byte : bytes) {
        const Micros end = toCamera_.Put(byte, baud_, loop_.Now());
        written_.push_back({end - camsim::ByteTime(baud_), byte, baud_, port_});
        if (Camera() != nullptr && !hungUp_) {
            ScheduleRead(end, true);
        }
    }
}

void SimulatedLine::ScheduleRead(Micros at, bool toCamera) {
    if (!reads_.insert({at, toCamera}).second) {
        return;
    }
    loop_.At(at, [this, at, toCamera, session = session_] {
        reads_.erase({at, toCamera});
        if (toCamera) {
            CameraReads(session);
        } else {
            PcReads(session);
        }
    });
}

void SimulatedLine::CameraReads(std::uint64_t session) {
    camsim::SimCamera* camera = Camera();
    if (session != session_ || camera == nullptr) {
        return;
    }
    std::vector<camsim::Arrival> arrivals;
    toCamera_.Read(camera->Baud(), loop_.Now(), arrivals);
    for (const camsim::Arrival& arrival : arrivals) {
        camera->Receive(arrival.byte, arrival.at);
    }
    PumpCamera();
    if (const auto pending = toCamera_.Pending(camera->Baud(), loop_.Now())) {
        ScheduleRead(*pending, true);
    }
}

void SimulatedLine::PumpCamera() {
    camsim::SimCamera* camera = Camera();
    if (camera == nullptr) {
        return;
    }
    toPc_.SetJitter(options.jitter);
    for (const auto& message : camera->TakeOutput()) {
        for (const std::uint8_t byte : message.bytes) {
            ScheduleRead(toPc_.Put(byte, message.baud, loop_.Now()), false);
        }
    }
    if (camera->CablePulled()) {
        const std::uint64_t session = session_;
        loop_.At(toPc_.BusyUntil(), [this, session] {
            if (open_ && session == session_ && !hungUp_) {
                hungUp_ = true;
                if (onHangUp) {
                    onHangUp();
                }
            }
        });
    }
    // One wake event per camera and time: every byte the camera receives pumps it, and a wake
    // scheduled again for each would pile up while the camera waits.
    if (const auto wake = camera->NextWakeup(); wake && wakes_.insert({camera, *wake}).second) {
        loop_.At(*wake, [this, camera, at = *wake] {
            wakes_.erase({camera, at});
            camera->Wake(loop_.Now());
            if (Camera() == camera) {
                PumpCamera();
            }
        });
    }
}

void SimulatedLine::PcReads(std::uint64_t session) {
    if (!open_ || session != session_) {
        return;
    }
    std::vector<camsim::Arrival> arrivals;
    toPc_.Read(baud_, loop_.Now(), arrivals);
    for (const camsim::Arrival& arrival : arrivals) {
        held_.push_back(
            {arrival.byte, camsim::AdapterDelivery(arrival.at, options.adapterLatency)});
    }
    HandOver();
    if (const auto pending = toPc_.Pending(baud_, loop_.Now())) {
        ScheduleRead(*pending, false);
    }
}

void SimulatedLine::PullCable(int portId) {
    const auto it = cameras_.find(portId);
    if (it == cameras_.end() || it->second == nullptr) {
        return;
    }
    it->second->PullCable();
    if (open_ && port_ == portId && !hungUp_) {
        hungUp_ = true;
        if (onHangUp) {
            onHangUp();
        }
    }
}

// The adapter hands over, in order, every byte whose time has come.
void SimulatedLine::HandOver() {
    bool given = false;
    while (!held_.empty() && held_.front().at <= loop_.Now()) {
        if (open_ && !hungUp_) {
            incoming_.push_back(held_.front().byte);
            given = true;
        }
        held_.pop_front();
    }
    if (!held_.empty() && handOverAt_.insert(held_.front().at).second) {
        loop_.At(held_.front().at, [this, at = held_.front().at] {
            handOverAt_.erase(at);
            HandOver();
        });
    }
    if (given && onReadable) {
        onReadable();
    }
}

std::size_t SimulatedLine::Read(std::span<std::uint8_t> buffer) {
    if (!open_ || hungUp_) {
        return 0;
    }
    const std::size_t count = std::min(buffer.size(), incoming_.size());
    std::copy_n(incoming_.begin(), count, buffer.begin());
    incoming_.erase(incoming_.begin(), incoming_.begin() + static_cast<std::ptrdiff_t>(count));
    return count;
}

bool SimulatedLine::SetBaudRate(std::uint32_t baud) {
    if (!open_ || refuseSpeedChanges) {
        return false;
    }
    PcReads(session_);  // what has arrived was read at the old speed
    baud_ = baud;
    speeds_.push_back({loop_.Now(), baud});
    if (const auto pending = toPc_.Pending(baud_, loop_.Now())) {
        ScheduleRead(*pending, false);
    }
    return true;
}

std::vector<std::uint8_t> SimulatedLine::WrittenBytes() const {
    std::vector<std::uint8_t> bytes;
    for (const auto& written : written_) {
        bytes.push_back(written.byte);
    }
    return bytes;
}

}  // namespace fotolyx::testing
