#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "camsim/sim_camera.h"
#include "camsim/uart_line.h"
#include "ports/serial_line.h"
#include "ports/timers.h"

namespace fotolyx::testing {

using camsim::Micros;

inline constexpr Micros MS = 1000;

// Virtual time for scenario tests: the program's one-shot timers and every scheduled event of
// the simulated line run in time order, instantly.
class VirtualLoop final : public Timers {
  public:
    std::function<void(WindowId window, int id)> onTimer;

    void StartTimer(WindowId window, int id, int milliseconds) override;
    void KillTimer(WindowId window, int id) override;
    bool TimerRunning(WindowId window, int id) const { return timers_.count({window, id}) != 0; }
    // Milliseconds until the timer fires, -1 when it does not run.
    int TimerLeftMs(WindowId window, int id) const;

    Micros Now() const { return now_; }
    void At(Micros when, std::function<void()> action);

    // Runs everything due up to now + milliseconds.
    void RunFor(int milliseconds);
    // Runs until done() holds (true) or limitMs of virtual time have passed (false).
    bool RunUntil(const std::function<bool()>& done, int limitMs);

    // A shell's invalidation hook for a host without a display: a window is painted as soon as
    // the current handler is done, and requests that come before that paint are one paint.
    std::function<void(WindowId)> PaintWhenHandlerDone(std::function<void(WindowId)> paint);

  private:
    bool Step(Micros until);

    Micros now_ = 0;
    std::uint64_t order_ = 0;
    std::map<std::pair<WindowId, int>, std::pair<Micros, std::uint64_t>> timers_;
    std::map<std::pair<Micros, std::uint64_t>, std::function<void()>> events_;
    std::set<WindowId> pendingPaints_;
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

// Joins the program's SerialLine to simulated cameras on the four ports through a UART wire in
// each direction: at matching speeds every byte arrives 10 bit-times after its sender started it;
// a receiver at another speed reads what a UART would make of the sender's bits. Options add
// jitter and the PC adapter's latency bursts.
class SimulatedLine final : public SerialLine {
  public:
    explicit SimulatedLine(VirtualLoop& loop) : loop_(loop) {}

    void Attach(int portId, camsim::SimCamera& camera) { cameras_[portId] = &camera; }
    // The wires' jitter and the adapter's latency, and the seed of the jitter (used at opening).
    camsim::LineOptions options;

    // A device that exists but has nothing on it (the default for ports without a camera is a
    // missing device).
    void AddSilentDevice(int portId) { cameras_[portId] = nullptr; }
    void DenyPermission(int portId) { denied_.push_back(portId); }
    // Pulls the cable of the camera on a port now; an open line on it hangs up.
    void PullCable(int portId);
    // Sends what the camera on the open port has to say of its own accord (its photo button).
    void CameraSpoke() { PumpCamera(); }

    // The receiver's entries.
    std::function<void()> onReadable;
    std::function<void()> onHangUp;

    LineOpenResult Open(int portId) override;
    void Close() override;
    bool IsOpen() const override { return open_; }
    void Write(std::span<const std::uint8_t> bytes) override;
    std::size_t Read(std::span<std::uint8_t> buffer) override;
    bool SetBaudRate(std::uint32_t baud) override;
    void Purge() override;
    LineSettingsFault OpenSettingsFault() const override { return openFault; }

    // A driver that fails to read or write the settings at opening, or refuses speed changes.
    LineSettingsFault openFault = LineSettingsFault::None;
    bool refuseSpeedChanges = false;

    std::uint32_t Baud() const { return baud_; }
    const std::vector<LineByte>& Written() const { return written_; }
    std::vector<std::uint8_t> WrittenBytes() const;
    const std::vector<PortOpening>& Openings() const { return openings_; }
    const std::vector<std::pair<Micros, std::uint32_t>>& SpeedChanges() const { return speeds_; }

  private:
    camsim::SimCamera* Camera() const;
    void PumpCamera();
    // Hands the camera what it has read from the wire by now.
    void CameraReads(std::uint64_t session);
    // Queues for the program what its side has read from the wire by now.
    void PcReads(std::uint64_t session);
    void ScheduleRead(Micros at, bool toCamera);
    void HandOver();

    VirtualLoop& loop_;
    std::map<int, camsim::SimCamera*> cameras_;
    std::vector<int> denied_;
    bool open_ = false;
    int port_ = 0;
    // Changes with every opening: bytes in flight to an old one are lost.
    std::uint64_t session_ = 0;
    // Bytes the PC's adapter holds until its latency timer runs out.
    std::deque<camsim::Arrival> held_;
    std::set<Micros> handOverAt_;
    std::uint32_t baud_ = BAUD_9600;
    bool hungUp_ = false;
    camsim::UartWire toCamera_;
    camsim::UartWire toPc_;
    std::set<std::pair<Micros, bool>> reads_;  // reads scheduled, by time and direction
    std::vector<std::uint8_t> incoming_;
    std::vector<LineByte> written_;
    std::vector<PortOpening> openings_;
    std::vector<std::pair<Micros, std::uint32_t>> speeds_;
    std::set<std::pair<camsim::SimCamera*, Micros>> wakes_;
};

}  // namespace fotolyx::testing
