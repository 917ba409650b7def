#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "imaging/dib_block.h"
#include "imaging/palette.h"
#include "ports/memory.h"
#include "ports/shell.h"

namespace fotolyx {

// The 256-colour popularity reduction. Pixels are counted by a 13-bit colour key (top 4 bits
// of blue, 5 of green, 4 of red); the most frequent keys become the palette, the most frequent
// key of every occupied coarse cell (top 2 bits of each channel) always among them, and every
// other key maps to its nearest palette colour. A palette colour is its key's bits shifted back
// (white becomes red 240, green 248, blue 240).
//
// The picture must be a 24-bit block with a 40-byte header; anything else is refused (0).
// When the working memory cannot be had, "Not enough memory." / "Global Memory" is shown
// through the shell and the result is 0. The Memory argument lets a test make that happen.

// Writes the palette colours into palette entries 0 .. min(keys, 256) - 1 (flags 0); the
// other entries and the version and count words stay as they were. 1 on success.
int BuildPopularityPalette(Shell& shell, Memory& memory, const DibBlock& picture,
                           LogPalette& palette);
int BuildPopularityPalette(Shell& shell, const DibBlock& picture, LogPalette& palette);

// Bytes ReduceTo256Colours writes for a picture of this size: a 40-byte header, 256 colour
// entries and one index byte per pixel in rows padded to 4 bytes (1064 + width x height when
// the width is a multiple of 4). 0 for an empty size.
std::size_t ReducedDibSize(std::int32_t width, std::int32_t height);

// Writes the 8-bit form of the picture into output: header (size 40, width, height, planes 1,
// bit count 8, all else 0), the colour table (entries past the number of palette colours are
// left as found) and the index rows, bottom row first. Refused (0) when output is shorter than
// ReducedDibSize. 1 on success.
int ReduceTo256Colours(Shell& shell, Memory& memory, const DibBlock& picture,
                       std::span<std::uint8_t> output);
int ReduceTo256Colours(Shell& shell, const DibBlock& picture, std::span<std::uint8_t> output);

}  // namespace fotolyx
