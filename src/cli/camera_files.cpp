#include "cli/camera_files.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <ctime>

namespace fotolyx::cli {

bool SetTakenTime(const std::filesystem::path& path, const TakenAt& takenAt) {
    if (!takenAt.Valid()) {
        return false;
    }
    std::tm local{};
    local.tm_year = takenAt.year - 1900;
    local.tm_mon = takenAt.month - 1;
    local.tm_mday = takenAt.day;
    local.tm_hour = takenAt.hour;
    local.tm_min = takenAt.minute;
    local.tm_isdst = -1;  // the camera's clock knows no summer time: let the zone decide
    const std::time_t when = std::mktime(&local);
    if (when == static_cast<std::time_t>(-1)) {
        return false;
    }
    const timespec times[2] = {{0, UTIME_OMIT}, {when, 0}};
    return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

}  // namespace fotolyx::cli
