#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <set>
#include <span>

#include "app/program.h"
#include "camsim/sim_camera.h"
#include "support/fakes.h"
#include "support/link_session.h"

namespace fotolyx::fuzzing {

// The program's line in the line target. It first reaches a simulated camera, so that the
// program can be brought into a transfer by a real exchange; HandOver() then cuts the camera
// off, and from there on the camera's side is whatever is queued in `incoming`.
class HandOverLine final : public SerialLine {
  public:
    explicit HandOverLine(SerialLine& camera) : camera_(&camera) {}

    void HandOver();
    bool HandedOver() const { return camera_ == nullptr; }

    LineOpenResult Open(int portId) override;
    void Close() override;
    bool IsOpen() const override;
    void Write(std::span<const std::uint8_t> bytes) override;
    std::size_t Read(std::span<std::uint8_t> buffer) override;
    bool SetBaudRate(std::uint32_t baud) override;
    void Purge() override;

    std::deque<std::uint8_t> incoming;
    // Hears every byte the program reads from the camera before the hand-over.
    std::function<void(std::span<const std::uint8_t>)> onCameraBytes;

  private:
    SerialLine* camera_;
    bool open_ = false;
};

// A Program in virtual time on a HandOverLine, with a simulated camera of two small pictures
// behind it.
class LineRig {
  public:
    LineRig();
    ~LineRig();
    LineRig(const LineRig&) = delete;
    LineRig& operator=(const LineRig&) = delete;

    // Brings the program into start state `state` (modulo the number of states) and hands the
    // line over, unless keepCamera is set (the seed writer lets the camera go on talking, from
    // the identification on in the states that need no exchange).
    void Enter(std::size_t state, bool keepCamera = false);

    // Changes the camera before Enter makes it (the seed writer's cameras of other timings).
    std::function<void(camsim::CameraConfig&)> tweakCamera;

    Program& program() { return *program_; }

    testing::RecordingShell shell;
    testing::VirtualLoop loop;
    testing::SimulatedLine cameraLine{loop};
    HandOverLine line{cameraLine};
    testing::FixedClock clock;
    Memory memory;
    SystemFreeSpace freeSpace;
    HostEnvironment environment;

  private:
    std::unique_ptr<camsim::SimCamera> camera_;
    std::unique_ptr<Program> program_;
};

std::size_t StartStateCount();
const char* StartStateName(std::size_t state);

}  // namespace fotolyx::fuzzing
