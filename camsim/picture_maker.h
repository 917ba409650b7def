#pragma once

#include <cstdint>
#include <vector>

#include "camsim/sim_camera.h"

namespace fotolyx::camsim {

// A baseline JPEG of a width x height test scene (a colour gradient whose hues depend on seed).
std::vector<std::uint8_t> MakeSceneJpeg(int width, int height, int seed, int quality);

// count generated pictures: alternately Fine 640 x 480 and Normal 320 x 240, each with an
// 80 x 60 thumbnail and a date in May 2002.
std::vector<SimPicture> MakeSamplePictures(int count);

}  // namespace fotolyx::camsim
