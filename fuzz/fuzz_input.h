#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>

namespace fotolyx::fuzzing {

// A folder of this fuzzing process, made at its first use and removed when the process ends.
const std::filesystem::path& FuzzFolder();

// Rewrites the file name in FuzzFolder() with bytes and returns its path; the entry points that
// read files get each input through it.
std::filesystem::path WriteInputFile(const char* name, std::span<const std::uint8_t> bytes);

// Takes the input's bytes from the front, for targets whose first bytes choose what to do.
class InputReader {
  public:
    explicit InputReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    bool Empty() const { return bytes_.empty(); }
    std::size_t Left() const { return bytes_.size(); }
    // The next byte, 0 when none is left.
    std::uint8_t Byte();
    // Up to count bytes.
    std::span<const std::uint8_t> Take(std::size_t count);
    std::span<const std::uint8_t> Rest() { return Take(bytes_.size()); }

  private:
    std::span<const std::uint8_t> bytes_;
};

}  // namespace fotolyx::fuzzing
