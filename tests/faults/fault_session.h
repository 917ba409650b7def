#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "app/program.h"
#include "camsim/sim_camera.h"
#include "support/fakes.h"
#include "support/virtual_loop.h"

namespace fotolyx::testing {

// Sits between the program and the simulated line and makes the faults of a bad cable that the
// camera cannot make itself. A message starts with the first byte the camera sends after the
// program wrote something; the faults hit a message's first byte, so that the packets' own
// checks can see them (a byte lost inside a payload cannot be seen by anybody).
class FaultyLine final : public SerialLine {
  public:
    explicit FaultyLine(SimulatedLine& inner) : inner_(inner) {}

    enum class CameraFault { None, DropFirstByte, GarbleFirstByte, RepeatMessage, NakStorm };
    enum class PcFault { None, LoseByte, GarbleByte };

    // The next camera message gets this fault (garbleValue or nakCount used as they apply).
    CameraFault nextMessage = CameraFault::None;
    std::uint8_t garbleValue = camsim::GARBLED_BYTE;
    int nakCount = 0;
    // The next byte the program writes gets this fault.
    PcFault nextWrite = PcFault::None;
    // Asks the host to call the receiver again (bytes are left that it has not taken).
    std::function<void()> renotify;

    LineOpenResult Open(int portId) override;
    void Close() override;
    bool IsOpen() const override { return inner_.IsOpen(); }
    void Write(std::span<const std::uint8_t> bytes) override;
    std::size_t Read(std::span<std::uint8_t> buffer) override;
    bool SetBaudRate(std::uint32_t baud) override { return inner_.SetBaudRate(baud); }
    void Purge() override;

  private:
    SimulatedLine& inner_;
    std::deque<std::uint8_t> pending_;
    bool atMessageStart_ = true;
    std::vector<std::uint8_t> message_;
    bool repeating_ = false;
};

// One randomized session: a camera with a few pictures, a random mix of user actions and line
// faults in virtual time, then a settling time in which nobody acts. Failures are reported
// through GoogleTest with the seed in the trace.
class FaultSession {
  public:
    explicit FaultSession(std::uint64_t seed);
    ~FaultSession();
    FaultSession(const FaultSession&) = delete;
    FaultSession& operator=(const FaultSession&) = delete;

    // Runs the whole session and checks how it ended.
    void Run();

    // What the session did, one line per step (printed when a check fails).
    const std::vector<std::string>& Story() const { return story_; }

  private:
    class Shell;

    unsigned Pick(unsigned count);
    bool Chance(unsigned percent) { return Pick(100) < percent; }
    // The later situations (undecodable pictures, deselected current pictures, lost mode answers,
    // the narrow camera, a full index) draw from a stream of their own, so that adding them left
    // the other draws of each seed as they were.
    unsigned PickSituation(unsigned count);
    bool SituationChance(unsigned percent) { return PickSituation(100) < percent; }
    void Note(const std::string& text);

    camsim::SimCamera& Camera() { return *cameras_.back(); }
    void AttachCamera(std::vector<camsim::SimPicture> pictures);
    void RememberPictures();
    void StartProgram();

    bool LinkDialogOpen() const;
    bool Busy() const;
    bool WaitDialogStays() const;
    bool Settled() const;
    std::string Describe() const;

    void InjectFault();
    void Act();
    void ActOnLinkDialog();
    void ActWhileBusy();
    void ActWhenIdle();
    void GiveUpWaiting();
    void ClickPicture(unsigned position, unsigned keys);
    bool SelectSome();
    void DeselectCurrentSometimes();
    void StartUpload(bool fine);

    void CheckEnd();
    void CheckCaptureWindows();
    void CheckSavedFiles();
    const std::vector<std::uint8_t>* ExpectedFor(const camsim::SimPicture& picture);
    bool MatchesACameraPicture(const DibBlock& picture);

    std::mt19937_64 random_;
    std::mt19937_64 situations_;
    std::vector<std::string> story_;
    TempDir root_;
    std::unique_ptr<Shell> shell_;
    VirtualLoop loop_;
    SimulatedLine cameraLine_{loop_};
    FaultyLine line_{cameraLine_};
    FixedClock clock_;
    Memory memory_;
    HostEnvironment environment_;
    camsim::CameraConfig config_;
    // Every camera the session used (a reset camera is a new one); the older ones stay alive
    // for the events still queued for them.
    std::vector<std::unique_ptr<camsim::SimCamera>> cameras_;
    // Every picture any camera held; the Capture pictures expected of them, made when needed.
    std::vector<camsim::SimPicture> pictures_;
    std::vector<camsim::SimPicture> expectedPictures_;
    std::deque<std::vector<std::uint8_t>> expected_;
    bool renotifyPending_ = false;
    int saves_ = 0;
    std::unique_ptr<Program> program_;
};

// The number of sessions (FOTOLYX_FAULT_SESSIONS, default given) and the first seed; with
// FOTOLYX_FAULT_SEED only that seed runs.
struct SessionPlan {
    std::uint64_t firstSeed = 1;
    std::uint64_t count = 0;
};
SessionPlan PlanSessions(std::uint64_t defaultCount);

}  // namespace fotolyx::testing
