#include "ports/free_space.h"

#include <sys/statvfs.h>

namespace fotolyx {

std::uint64_t SystemFreeSpace::AvailableBytes(const std::filesystem::path& folder) {
    struct statvfs info {};
    if (::statvfs(folder.empty() ? "." : folder.c_str(), &info) != 0) {
        return 0;
    }
    return static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
}

}  // namespace fotolyx
