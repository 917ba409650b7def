#include "link/port_slots.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <string_view>
#include <system_error>

namespace fotolyx {

namespace {

constexpr std::size_t SLOT_COUNT = 4;
constexpr std::string_view PSEUDO_TERMINAL_FOLDER = "/dev/pts/";
// Adapters by their kernel names, in the order they are tried when no stable names exist.
constexpr std::array<std::string_view, 2> ADAPTER_PREFIXES = {"ttyUSB", "ttyACM"};
constexpr std::string_view BUILT_IN_PREFIX = "ttyS";

// The number after prefix when name is prefix followed by digits only.
std::optional<unsigned> NumberAfter(std::string_view name, std::string_view prefix) {
    if (!name.starts_with(prefix) || name.size() == prefix.size()) {
        return std::nullopt;
    }
    const std::string_view digits = name.substr(prefix.size());
    unsigned number = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (error != std::errc{} || end != digits.data() + digits.size()) {
        return std::nullopt;
    }
    return number;
}

std::vector<std::string> NumberedDevices(const SerialDeviceListing& listing,
                                         std::string_view prefix) {
    std::vector<std::pair<unsigned, std::string>> found;
    for (const std::string& name : listing.deviceNames) {
        if (const auto number = NumberAfter(name, prefix)) {
            found.emplace_back(*number, name);
        }
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> paths;
    for (const auto& entry : found) {
        paths.push_back((listing.folder / entry.second).string());
    }
    return paths;
}

}  // namespace

SerialDeviceListing ListSerialDevices(const std::filesystem::path& folder) {
    SerialDeviceListing listing;
    listing.folder = folder;
    auto names = [](const std::filesystem::path& where) {
        std::vector<std::string> found;
        std::error_code error;
        for (std::filesystem::directory_iterator it(where, error), end; !error && it != end;
             it.increment(error)) {
            found.push_back(it->path().filename().string());
        }
        return found;
    };
    listing.byIdNames = names(folder / "serial" / "by-id");
    listing.deviceNames = names(folder);
    return listing;
}

std::string DeviceBehind(const std::string& path) {
    std::error_code error;
    const std::filesystem::path device = std::filesystem::canonical(path, error);
    return error ? std::string() : device.string();
}

std::array<std::string, 4> OrderPortSlots(
    const std::vector<std::string>& remembered, const SerialDeviceListing& listing,
    const std::function<std::string(const std::string&)>& deviceOf) {
    std::vector<std::string> candidates;
    for (const std::string& path : remembered) {
        if (!path.empty() && !deviceOf(path).empty()) {
            candidates.push_back(path);
        }
    }
    std::vector<std::string> byId = listing.byIdNames;
    std::sort(byId.begin(), byId.end());
    for (const std::string& name : byId) {
        candidates.push_back((listing.folder / "serial" / "by-id" / name).string());
    }
    if (byId.empty()) {
        for (const std::string_view prefix : ADAPTER_PREFIXES) {
            const auto paths = NumberedDevices(listing, prefix);
            candidates.insert(candidates.end(), paths.begin(), paths.end());
        }
    }
    for (std::size_t i = 0; i < SLOT_COUNT; ++i) {
        candidates.push_back(
            (listing.folder / (std::string(BUILT_IN_PREFIX) + std::to_string(i))).string());
    }

    std::array<std::string, 4> slots;
    std::vector<std::string> taken;
    std::size_t filled = 0;
    for (const std::string& path : candidates) {
        if (filled == SLOT_COUNT) {
            break;
        }
        // A device that does not exist (a missing ttyS2) still takes its slot, by its name.
        std::string device = deviceOf(path);
        if (device.empty()) {
            device = path;
        }
        if (std::find(taken.begin(), taken.end(), device) != taken.end()) {
            continue;
        }
        taken.push_back(device);
        slots[filled++] = path;
    }
    return slots;
}

PortMap FillPortSlots(const PortMap& given, const std::vector<std::string>& remembered,
                      const std::filesystem::path& deviceFolder) {
    return given.FilledFrom(
        OrderPortSlots(remembered, ListSerialDevices(deviceFolder), DeviceBehind));
}

std::vector<std::string> RememberAnsweredPort(std::vector<std::string> remembered,
                                              const std::string& answered) {
    if (answered.empty() || answered.starts_with(PSEUDO_TERMINAL_FOLDER)) {
        return remembered;
    }
    std::erase(remembered, answered);
    remembered.insert(remembered.begin(), answered);
    if (remembered.size() > SLOT_COUNT) {
        remembered.resize(SLOT_COUNT);
    }
    return remembered;
}

}  // namespace fotolyx
