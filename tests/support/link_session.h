#pragma once

#include <algorithm>
#include <memory>
#include <set>
#include <vector>

#include "app/program.h"
#include "camsim/picture_maker.h"
#include "camsim/sim_camera.h"
#include "support/fakes.h"
#include "support/program_world.h"
#include "support/virtual_loop.h"

namespace fotolyx::testing {

// One run of the program against simulated cameras in virtual time: the story of a scenario
// test is "attach cameras, start, advance time, look at the bytes and the effects".
class LinkSession {
  public:
    LinkSession();
    ~LinkSession();
    LinkSession(const LinkSession&) = delete;
    LinkSession& operator=(const LinkSession&) = delete;

    camsim::SimCamera& AddCamera(int portId, camsim::CameraConfig config = {});
    // Starts the program: its start-up arms the port opening.
    Program& Start();
    Program& program() { return *program_; }

    // Runs until done() holds; false when limitMs of virtual time pass first.
    bool RunUntil(const std::function<bool()>& done, int limitMs) {
        return loop.RunUntil(done, limitMs);
    }
    // Runs until the set-up is done and the picture index is asked for (or limitMs passed).
    bool RunUntilCameraReady(int limitMs = 10'000);
    bool DialogShown(LinkDialog dialog) const;
    // How many blocks of exactly this size the program asked for.
    long Allocations(std::size_t bytes) const {
        return std::count(memory.sizes.begin(), memory.sizes.end(), bytes);
    }
    // The bytes the program wrote since a point in time.
    std::vector<std::uint8_t> WrittenSince(Micros since) const;

    // Timers of windows other than the frame (the test's own waiting windows).
    std::function<void(WindowId window, int id)> windowTimer;

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

}  // namespace fotolyx::testing
