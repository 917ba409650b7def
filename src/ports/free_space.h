#pragma once

#include <cstdint>
#include <filesystem>

namespace fotolyx {

// Free bytes on the file system that holds a folder; 0 when it cannot be told.
class FreeSpace {
public:
    virtual ~FreeSpace() = default;
    virtual std::uint64_t AvailableBytes(const std::filesystem::path& folder) = 0;
};

// Asks the operating system (statvfs: blocks available to an unprivileged user).
class SystemFreeSpace final : public FreeSpace {
public:
    std::uint64_t AvailableBytes(const std::filesystem::path& folder) override;
};

}  // namespace fotolyx
