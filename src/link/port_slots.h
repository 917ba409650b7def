#pragma once

#include <array>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "link/termios_line.h"

namespace fotolyx {

// What a device folder holds that may be a camera's line: the names under serial/by-id (stable
// names of USB serial adapters) and the names in the folder itself.
struct SerialDeviceListing {
    std::filesystem::path folder = "/dev";
    std::vector<std::string> byIdNames;
    std::vector<std::string> deviceNames;
};

// Reads the listing of folder; a missing folder or by-id folder gives empty lists.
SerialDeviceListing ListSerialDevices(const std::filesystem::path& folder);

// The device a path stands for (symbolic links followed), or empty when it does not exist.
std::string DeviceBehind(const std::string& path);

// The devices of COM1..COM4, in this order: the remembered ports that still exist, the USB
// serial adapters (by-id names in name order, else ttyUSB* then ttyACM* in number order), then
// ttyS0..ttyS3; a device reached by two names takes one slot. deviceOf tells which device a
// path stands for (empty when it does not exist).
std::array<std::string, 4> OrderPortSlots(
    const std::vector<std::string>& remembered, const SerialDeviceListing& listing,
    const std::function<std::string(const std::string&)>& deviceOf);

// The ports of a run: those the user assigned stay, the others are filled as OrderPortSlots
// orders the devices of deviceFolder.
PortMap FillPortSlots(const PortMap& given, const std::vector<std::string>& remembered,
                      const std::filesystem::path& deviceFolder);

// The remembered ports after a camera answered on answered: it comes first, the others keep
// their order, at most four stay. A pseudo-terminal's name is not kept: its number belongs to
// whichever program opens one next.
std::vector<std::string> RememberAnsweredPort(std::vector<std::string> remembered,
                                              const std::string& answered);

}  // namespace fotolyx
