#pragma once

#include <memory>
#include <set>
#include <tuple>

#include "camsim/picture_maker.h"
#include "camsim/sim_camera.h"
#include "camsim/uart_line.h"
#include "support/fakes.h"  // the other port doubles, and the standard containers
#include "support/program_world.h"

namespace fotolyx::testing {

using camsim::Micros;

inline constexpr Micros MS = 1000;

// Virtual time: timers and scheduled events run at once, by time and then by scheduling order.
class VirtualLoop final : public Timers {
  public:
    std::function<void(WindowId window, int id)> onTimer;

    void StartTimer(WindowId window, int id, int milliseconds) override {
        KillTimer(window, id);
        const std::pair key{now_ + std::max(milliseconds, 0) * MS, order_++};
        timers_[{window, id}] = key;
        events_[key] = [this, window, id] {
            timers_.erase({window, id});
            if (onTimer) {
                onTimer(window, id);
            }
        };
    }
    void KillTimer(WindowId window, int id) override {
        if (const auto it = timers_.find({window, id}); it != timers_.end()) {
            events_.erase(it->second);
            timers_.erase(it);
        }
    }
    bool TimerRunning(WindowId window, int id) const { return timers_.count({window, id}) != 0; }
    // Milliseconds until the timer fires, -1 when it does not run.
    int TimerLeftMs(WindowId window, int id) const {
        const auto it = timers_.find({window, id});
        return it == timers_.end() ? -1 : static_cast<int>((it->second.first - now_) / MS);
    }

    Micros Now() const { return now_; }
    void At(Micros when, std::function<void()> action) {
        events_[{std::max(when, now_), order_++}] = std::move(action);
    }
    // At, unless an action of the same owner and tag already waits for that time.
    void AtOnce(const void* owner, std::int64_t tag, Micros when, std::function<void()> action) {
        if (once_.insert({owner, tag, when}).second) {
            At(when, [this, key = std::tuple(owner, tag, when), action = std::move(action)] {
                once_.erase(key);
                action();
            });
        }
    }

    void RunFor(int milliseconds) {
        RunUntil([] { return false; }, milliseconds);
    }
    // Runs until done() holds (true) or limitMs of virtual time have passed (false).
    bool RunUntil(const std::function<bool()>& done, int limitMs) {
        const Micros until = now_ + limitMs * MS;
        // A step limit, as events that never let time advance would hang the test.
        for (std::uint64_t steps = 0; !done(); ++steps) {
            if (steps == 20'000'000 || events_.empty() || events_.begin()->first.first > until) {
                now_ = until;
                return done();
            }
            now_ = events_.begin()->first.first;
            auto action = std::move(events_.begin()->second);
            events_.erase(events_.begin());
            action();
        }
        return true;
    }

    // An invalidation hook for a host without a display: one paint once the handler is done.
    std::function<void(WindowId)> PaintWhenHandlerDone(std::function<void(WindowId)> paint) {
        return [this, paint = std::move(paint)](WindowId window) {
            AtOnce(this, window, now_, [paint, window] { paint(window); });
        };
    }

  private:
    Micros now_ = 0;
    std::uint64_t order_ = 0;
    std::map<std::pair<WindowId, int>, std::pair<Micros, std::uint64_t>> timers_;
    std::map<std::pair<Micros, std::uint64_t>, std::function<void()>> events_;
    std::set<std::tuple<const void*, std::int64_t, Micros>> once_;
};

// One byte on the simulated line, with the time it left its sender and the sender's speed.
struct LineByte {
    Micros sent = 0;
    std::uint8_t byte = 0;
    std::uint32_t baud = 0;
    int port = 0;
};

struct PortOpening {
    Micros time = 0;
    int port = 0;
    LineOpenResult result = LineOpenResult::Missing;
};

// The program's line to simulated cameras: a UART wire each way, jitter and the adapter's latency.
class SimulatedLine final : public SerialLine {
  public:
    explicit SimulatedLine(VirtualLoop& loop) : loop_(loop) {}

    void Attach(int portId, camsim::SimCamera& camera) { cameras_[portId] = &camera; }
    camsim::LineOptions options;  // taken at opening
    // A device that exists but has nothing on it (ports without a camera have no device).
    void AddSilentDevice(int portId) { cameras_[portId] = nullptr; }
    void DenyPermission(int portId) { denied_.push_back(portId); }
    // Pulls the cable of the camera on a port now; an open line on it hangs up.
    void PullCable(int portId) {
        const auto it = cameras_.find(portId);
        if (it != cameras_.end() && it->second != nullptr) {
            it->second->PullCable();
            if (port_ == portId) {
                HangUp(session_);
            }
        }
    }
    // Sends what the camera on the open port has to say of its own accord (its photo button).
    void CameraSpoke() { PumpCamera(); }

    std::function<void()> onReadable;
    std::function<void()> onHangUp;

    LineOpenResult Open(int portId) override {
        Close();
        const auto it = cameras_.find(portId);
        const bool present =
            it != cameras_.end() && (it->second == nullptr || !it->second->CablePulled());
        const LineOpenResult result = std::ranges::count(denied_, portId) > 0
                                          ? LineOpenResult::PermissionDenied
                                      : present ? LineOpenResult::Opened
                                                : LineOpenResult::Missing;
        openings_.push_back({loop_.Now(), portId, result});
        if (result == LineOpenResult::Opened) {
            open_ = true;
            port_ = portId;
            ++session_;  // bytes in flight to an earlier opening are lost
            held_.clear();
            baud_ = BAUD_9600;
            hungUp_ = false;
            toCamera_ = camsim::UartWire(options.jitter, options.seed + 2 * session_);
            toPc_ = camsim::UartWire(options.jitter, options.seed + 2 * session_ + 1);
            if (camsim::SimCamera* camera = Camera()) {
                camera->TakeOutput();  // whatever it said while nobody listened is lost
            }
        }
        return result;
    }
    void Close() override {
        open_ = false;
        incoming_.clear();
    }
    bool IsOpen() const override { return open_; }
    void Write(std::span<const std::uint8_t> bytes) override {
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
    std::size_t Read(std::span<std::uint8_t> buffer) override {
        return open_ && !hungUp_ ? TakeBytes(incoming_, buffer) : 0;
    }
    bool SetBaudRate(std::uint32_t baud) override {
        if (!open_ || refuseSpeedChanges) {
            return false;
        }
        Reads(false, session_);  // what has arrived was read at the old speed
        baud_ = baud;
        if (const auto pending = toPc_.Pending(baud_, loop_.Now())) {
            ScheduleRead(*pending, false);
        }
        return true;
    }
    void Purge() override {
        incoming_.clear();
        held_.clear();  // and what the adapter still held
    }
    LineSettingsFault OpenSettingsFault() const override { return openFault; }

    // A driver that fails to read or write the settings at opening, or refuses speed changes.
    LineSettingsFault openFault = LineSettingsFault::None;
    bool refuseSpeedChanges = false;

    std::uint32_t Baud() const { return baud_; }
    const std::vector<LineByte>& Written() const { return written_; }
    std::vector<std::uint8_t> WrittenBytes(Micros since = 0) const {
        std::vector<std::uint8_t> bytes;
        for (const LineByte& written : written_) {
            if (written.sent >= since) {
                bytes.push_back(written.byte);
            }
        }
        return bytes;
    }
    const std::vector<PortOpening>& Openings() const { return openings_; }

  private:
    camsim::SimCamera* Camera() const {
        const auto it = cameras_.find(port_);
        return open_ && it != cameras_.end() ? it->second : nullptr;
    }
    void ScheduleRead(Micros at, bool toCamera) {
        loop_.AtOnce(this, toCamera, at,
                     [this, toCamera, session = session_] { Reads(toCamera, session); });
    }
    void PumpCamera() {
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
            loop_.At(toPc_.BusyUntil(), [this, session = session_] { HangUp(session); });
        }
        // One wake per camera and time: every byte the camera receives pumps it.
        if (const auto wake = camera->NextWakeup()) {
            loop_.AtOnce(camera, 0, *wake, [this, camera] {
                camera->Wake(loop_.Now());
                if (Camera() == camera) {
                    PumpCamera();
                }
            });
        }
    }
    // Hands each side what it read from its wire by now, the program's behind the adapter.
    void Reads(bool toCamera, std::uint64_t session) {
        camsim::SimCamera* camera = Camera();
        if (session != session_ || (toCamera ? camera == nullptr : !open_)) {
            return;
        }
        camsim::UartWire& wire = toCamera ? toCamera_ : toPc_;
        std::vector<camsim::Arrival> arrivals;
        wire.Read(toCamera ? camera->Baud() : baud_, loop_.Now(), arrivals);
        for (const camsim::Arrival& arrival : arrivals) {
            if (toCamera) {
                camera->Receive(arrival.byte, arrival.at);
            } else {
                held_.push_back(
                    {arrival.byte, camsim::AdapterDelivery(arrival.at, options.adapterLatency)});
            }
        }
        toCamera ? PumpCamera() : HandOver();
        if (const auto pending = wire.Pending(toCamera ? camera->Baud() : baud_, loop_.Now())) {
            ScheduleRead(*pending, toCamera);
        }
    }
    void HandOver() {
        bool given = false;
        for (; !held_.empty() && held_.front().at <= loop_.Now(); held_.pop_front()) {
            if (open_ && !hungUp_) {
                incoming_.push_back(held_.front().byte);
                given = true;
            }
        }
        if (!held_.empty()) {
            loop_.AtOnce(&held_, 0, held_.front().at, [this] { HandOver(); });
        }
        if (given && onReadable) {
            onReadable();
        }
    }
    void HangUp(std::uint64_t session) {
        if (open_ && session == session_ && !hungUp_) {
            hungUp_ = true;
            if (onHangUp) {
                onHangUp();
            }
        }
    }

    VirtualLoop& loop_;
    std::map<int, camsim::SimCamera*> cameras_;
    std::vector<int> denied_;
    bool open_ = false, hungUp_ = false;
    int port_ = 0;
    std::uint64_t session_ = 0;  // counts the openings
    std::uint32_t baud_ = BAUD_9600;
    camsim::UartWire toCamera_, toPc_;
    std::deque<camsim::Arrival> held_;  // what the PC's adapter holds until its latency ran out
    std::vector<std::uint8_t> incoming_;
    std::vector<LineByte> written_;
    std::vector<PortOpening> openings_;
};

class LinkSession {
  public:
    LinkSession() : environment(FolderEnvironment(root)) {}

    camsim::SimCamera& AddCamera(int portId, camsim::CameraConfig config = {}) {
        cameras_.push_back(std::make_unique<camsim::SimCamera>(std::move(config)));
        line.Attach(portId, *cameras_.back());
        return *cameras_.back();
    }
    Program& Start() {
        program_ = std::make_unique<Program>(Ports{shell, loop, line, clock, memory, freeSpace},
                                             environment);
        loop.onTimer = [this](WindowId window, int id) { program_->TimerFired(window, id); };
        line.onReadable = [this] { program_->receiver.OnReadable(); };
        line.onHangUp = [this] { program_->receiver.OnHangUp(); };
        shell.onInvalidate =
            loop.PaintWhenHandlerDone([this](WindowId window) { program_->PaintWindow(window); });
        program_->Startup();
        return *program_;
    }
    Program& program() { return *program_; }

    bool RunUntil(const std::function<bool()>& done, int limitMs) {
        return loop.RunUntil(done, limitMs);
    }
    // Runs until the set-up is done and the picture index is asked for (or limitMs passed).
    bool RunUntilCameraReady(int limitMs = 10'000) {
        return RunUntil([&] { return program_->link.SetupPhase == 0; }, limitMs);
    }
    bool RunUntilIndexLoaded(int limitMs = 60'000) {
        return RunUntil([&] { return program_->indexTransfer.index.IndexLoaded; }, limitMs);
    }
    bool DialogShown(LinkDialog dialog) const {
        return std::ranges::count(shell.linkDialogsShown, dialog) > 0;
    }
    long Allocations(std::size_t bytes) const { return std::ranges::count(memory.sizes, bytes); }
    std::vector<std::uint8_t> WrittenSince(Micros since) const { return line.WrittenBytes(since); }

    TempDir root;
    RecordingShell shell;
    VirtualLoop loop;
    SimulatedLine line{loop};
    FixedClock clock;
    FailingMemory memory;
    FixedFreeSpace freeSpace;
    HostEnvironment environment;

  private:
    std::vector<std::unique_ptr<camsim::SimCamera>> cameras_;
    std::unique_ptr<Program> program_;
};

// A camera with sample pictures on COM1 and the program started.
struct IndexedSession : LinkSession {
    explicit IndexedSession(std::size_t pictures, camsim::CameraConfig config = {}) {
        config.pictures = camsim::MakeSamplePictures(pictures);
        camera = &AddCamera(PORT_COM1, config);
        Start();
    }
    camsim::SimCamera* camera = nullptr;
};

}  // namespace fotolyx::testing
