#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string_view>

namespace fotolyx {

// The codec's state of one program run. Each operation clears the flag at its start and sets
// it when the library reported an error or the input was refused.
struct JpegState {
    bool JpegErrorFlag = false;
};

inline constexpr int MAX_SAMPLED_COMPONENTS = 10;  // the library's component limit

struct SamplingFactor {
    int horizontal = 1;
    int vertical = 1;
};
using SamplingFactors = std::array<SamplingFactor, MAX_SAMPLED_COMPONENTS>;

// Parses "2x1,1x1,1x1": per component, in order and separated by commas, the horizontal
// factor, 'x' and the vertical factor, each 1 to 4. Components not listed get 1x1.
std::optional<SamplingFactors> ParseSamplingFactors(std::string_view text);

// Compresses a BMP file (8 bits with a colour table, or 24 bits; 12-, 40- or 64-byte header;
// uncompressed, bottom-up) into a baseline JPEG file at quality 1..100 with the given
// sampling factors. 1 on success, 0 on failure (the output may then be partly written).
int CompressBmpToJpeg(JpegState& state, const std::filesystem::path& input,
                      const std::filesystem::path& output, std::string_view sampling, int quality);

// Decompresses a JPEG file into a BMP file: 24-bit rows, or 8-bit rows with a 256-entry grey
// table for a one-component picture. A nonzero colourCount quantises to that many colours
// (8-bit rows with the chosen table). 1 on success, 0 on failure; once the input could be
// opened the output is created or truncated, so a failed decode leaves it empty.
int DecompressJpegToBmp(JpegState& state, const std::filesystem::path& input,
                        const std::filesystem::path& output, int colourCount);

}  // namespace fotolyx
