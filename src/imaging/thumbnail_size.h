#pragma once

#include <cstdint>

namespace fotolyx {

// The size of every thumbnail the program makes.
inline constexpr std::int32_t THUMBNAIL_WIDTH = 160;
inline constexpr std::int32_t THUMBNAIL_HEIGHT = 120;

}  // namespace fotolyx
