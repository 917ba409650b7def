#pragma once

#include <cstdint>
#include <vector>

#include "camsim/sim_camera.h"

namespace fotolyx::testing {

// A live view, a live photo or an upload run against a camera with faults, and how it ended.
enum class Activity { LiveView, Photo, Upload };
enum class Outcome { Completed, Disconnected, Hung };

// Messages the camera sends before an activity starts (the set-up and a two-picture index).
std::uint32_t MessagesBeforeActivity();

// Runs the activity to its end (three frames, one photo, one upload) or the disconnect dialog.
Outcome RunActivity(Activity activity, const camsim::CameraFaults& faults);

// Faults of the line and the camera with how each activity ends under them.
struct ActivityFault {
    const char* name;
    camsim::CameraFaults faults;
    Outcome live, photo, upload;
};
std::vector<ActivityFault> ActivityFaults();

}  // namespace fotolyx::testing
