#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace fotolyx {

// Hands out zero-filled blocks. The long-lived buffers come from here so that a test can make
// an allocation fail and watch the program carry on without that buffer.
class Memory {
public:
    virtual ~Memory() = default;
    virtual std::optional<std::vector<std::uint8_t>> AllocateZeroed(std::size_t size);
};

}  // namespace fotolyx
