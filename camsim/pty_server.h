#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "camsim/sim_camera.h"
#include "camsim/uart_line.h"

namespace fotolyx::camsim {

// Round trips the camera measured: from the last byte of one of its data packets leaving to the
// PC's answer arriving.
struct TurnaroundStats {
    std::vector<Micros> samples;
    std::string Summary() const;
};

// Serves a SimCamera on a pseudo-terminal in real time, paced at the line speed the program on
// the other side has set (read from the terminal's settings).
class PtyServer {
  public:
    explicit PtyServer(CameraConfig config, LineOptions line = {})
        : camera_(std::move(config)),
          line_(line),
          toCamera_(line.jitter, line.seed),
          toPc_(line.jitter, line.seed + 1) {}
    ~PtyServer();
    PtyServer(const PtyServer&) = delete;
    PtyServer& operator=(const PtyServer&) = delete;

    // Creates the pseudo-terminal; false (with a message in error) when it cannot.
    bool Open(std::string& error);
    const std::string& SlavePath() const { return slavePath_; }
    // Serves until SIGINT or SIGTERM, or until the cable is pulled. SIGUSR1 presses the
    // camera's photo button.
    void Run();
    const TurnaroundStats& Stats() const { return stats_; }

  private:
    struct Pending {
        std::uint8_t byte;
        Micros due;
    };

    std::uint32_t PcBaud() const;
    void ReadIncoming(Micros now);
    void Process(Micros now);
    void Flush(Micros now);
    std::optional<Micros> NextEvent() const;

    SimCamera camera_;
    LineOptions line_;
    UartWire toCamera_;
    UartWire toPc_;
    std::uint32_t pcBaud_ = 9600;
    int master_ = -1;
    int slave_ = -1;
    int signals_ = -1;
    std::string slavePath_;
    // Bytes the PC's side has read, waiting for the adapter to hand them over.
    std::vector<Pending> outgoing_;
    std::size_t outgoingSent_ = 0;
    Micros lastDue_ = 0;
    std::vector<Micros> packetEnds_;  // when the last byte of each data packet ends on the wire
    Micros lastPacketEnd_ = -1;       // when the last byte of a data packet went out
    TurnaroundStats stats_;
};

}  // namespace fotolyx::camsim
