#include "ports/memory.h"

#include <new>
#include <stdexcept>

namespace fotolyx {

std::optional<std::vector<std::uint8_t>> Memory::AllocateZeroed(std::size_t size) {
    try {
        return std::vector<std::uint8_t>(size, 0);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    } catch (const std::length_error&) {
        return std::nullopt;
    }
}

}  // namespace fotolyx
