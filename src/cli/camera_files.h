#pragma once

#include <filesystem>

#include "camera_index/picture_index.h"

namespace fotolyx::cli {

// Gives a file the camera's date of its picture (local time) as its modification time, so that
// file managers sort pictures by when they were taken. False, and the file keeps its time, for
// a date that is not valid or a file that cannot be changed.
bool SetTakenTime(const std::filesystem::path& path, const TakenAt& takenAt);

}  // namespace fotolyx::cli
