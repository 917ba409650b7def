#pragma once

#include <string>
#include <vector>

#include "camsim/sim_camera.h"
#include "camsim/uart_line.h"

namespace fotolyx::camsim {

struct ServerOptions {
    CameraConfig camera;
    LineOptions line;
    bool stats = false;
    std::string replayFile;  // --replay: play the camera's side of a line trace instead
};

// Reads fotolyx-camsim's command line; false with a message in error on a bad option.
bool ParseOptions(const std::vector<std::string>& arguments, ServerOptions& options,
                  std::string& error);

extern const char USAGE[];

}  // namespace fotolyx::camsim
