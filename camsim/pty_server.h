#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "camsim/sim_camera.h"

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
    explicit PtyServer(CameraConfig config) : camera_(std::move(config)) {}
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
        std::uint32_t baud;
        Micros due;
        bool endsDataPacket = false;
    };

    std::uint32_t PcBaud() const;
    void ReadIncoming(Micros now);
    void Process(Micros now);
    void Flush(Micros now);

    SimCamera camera_;
    int master_ = -1;
    int slave_ = -1;
    int signals_ = -1;
    std::string slavePath_;
    std::vector<Pending> incoming_;
    std::vector<Pending> outgoing_;
    std::size_t outgoingSent_ = 0;
    Micros rxBusyUntil_ = 0;
    Micros txBusyUntil_ = 0;
    Micros lastPacketEnd_ = -1;  // when the last byte of a data packet went out
    TurnaroundStats stats_;
};

}  // namespace fotolyx::camsim
