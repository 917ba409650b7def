#pragma once

#include <cstdint>
#include <vector>

#include "camsim/sim_camera.h"

namespace fotolyx::camsim {

// A baseline JPEG of a width x height test scene (a colour gradient whose hues depend on seed).
std::vector<std::uint8_t> MakeSceneJpeg(int width, int height, int seed, int quality);

// The picture size from a JPEG's frame header; false when the data is not a readable JPEG.
bool ReadJpegSize(const std::vector<std::uint8_t>& jpeg, std::uint16_t& width,
                  std::uint16_t& height);

// count generated pictures: alternately Fine 640 x 480 and Normal 320 x 240, each with an
// 80 x 60 thumbnail and a date in May 2002.
std::vector<SimPicture> MakeSamplePictures(int count);

}  // namespace fotolyx::camsim
