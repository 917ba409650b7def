#pragma once

#include <sys/types.h>
#include <string>

namespace fotolyx::cli {

// The simulated camera of --simulate: fotolyx-camsim, started from the folder of this program,
// serving a camera on a pseudo-terminal until this object goes.
class SimulatedCamera {
  public:
    SimulatedCamera() = default;
    ~SimulatedCamera();
    SimulatedCamera(const SimulatedCamera&) = delete;
    SimulatedCamera& operator=(const SimulatedCamera&) = delete;

    // Starts the camera with generated pictures, or with the JPEG files of folder, and waits for
    // the path of its terminal; false with a message in error when it cannot.
    bool Start(const std::string& folder, std::string& error);
    const std::string& DevicePath() const { return devicePath_; }

  private:
    pid_t pid_ = -1;
    std::string devicePath_;
};

}  // namespace fotolyx::cli
