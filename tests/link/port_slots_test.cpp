#include "link/port_slots.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

namespace fotolyx {
namespace {

using Slots = std::array<std::string, 4>;

TEST(PortSlots, FillsRememberedThenAdaptersThenBuiltInPorts) {
    // Which device each name stands for on the pretend machine; names not here do not exist.
    const std::map<std::string, std::string> devices = {
        {"/dev/ttyUSB0", "/dev/ttyUSB0"},
        {"/dev/ttyUSB1", "/dev/ttyUSB1"},
        {"/dev/ttyUSB10", "/dev/ttyUSB10"},
        {"/dev/ttyUSB2", "/dev/ttyUSB2"},
        {"/dev/ttyACM0", "/dev/ttyACM0"},
        {"/dev/ttyS0", "/dev/ttyS0"},
        {"/dev/ttyS1", "/dev/ttyS1"},
        {"/dev/serial/by-id/usb-A", "/dev/ttyUSB1"},
        {"/dev/serial/by-id/usb-B", "/dev/ttyUSB0"},
    };
    auto deviceOf = [&](const std::string& path) {
        const auto found = devices.find(path);
        return found == devices.end() ? std::string() : found->second;
    };
    struct Case {
        const char* name;
        std::vector<std::string> remembered;
        std::vector<std::string> byId;
        std::vector<std::string> names;
        Slots expected;
    };
    const Case cases[] = {
        {"nothing but the built-in ports",
         {},
         {},
         {"ttyS0", "ttyS1", "tty0", "null"},
         {"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS2", "/dev/ttyS3"}},
        {"adapters by number, ttyUSB before ttyACM; ttyUSB10 after ttyUSB2",
         {},
         {},
         {"ttyACM0", "ttyUSB10", "ttyUSB2", "ttyS0", "ttyUSBx", "ttyUSB"},
         {"/dev/ttyUSB2", "/dev/ttyUSB10", "/dev/ttyACM0", "/dev/ttyS0"}},
        {"stable names in name order replace the kernel names",
         {},
         {"usb-B", "usb-A"},
         {"ttyUSB0", "ttyUSB1"},
         {"/dev/serial/by-id/usb-A", "/dev/serial/by-id/usb-B", "/dev/ttyS0", "/dev/ttyS1"}},
        {"a remembered port comes first and its other name is not tried twice",
         {"/dev/ttyUSB0"},
         {"usb-A", "usb-B"},
         {},
         {"/dev/ttyUSB0", "/dev/serial/by-id/usb-A", "/dev/ttyS0", "/dev/ttyS1"}},
        {"a remembered port that is gone takes no slot",
         {"/dev/serial/by-id/usb-gone", "/dev/ttyS1"},
         {},
         {"ttyACM0"},
         {"/dev/ttyS1", "/dev/ttyACM0", "/dev/ttyS0", "/dev/ttyS2"}},
        {"more adapters than slots",
         {},
         {},
         {"ttyUSB0", "ttyUSB1", "ttyUSB2", "ttyUSB10", "ttyACM0"},
         {"/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyUSB2", "/dev/ttyUSB10"}},
    };
    for (const Case& c : cases) {
        const SerialDeviceListing listing{"/dev", c.byId, c.names};
        EXPECT_EQ(OrderPortSlots(c.remembered, listing, deviceOf), c.expected) << c.name;
    }
}

TEST(PortSlots, TheAnsweredPortMovesToTheFrontOfAtMostFour) {
    using List = std::vector<std::string>;
    struct Case {
        List before;
        std::string answered;
        List after;
    };
    const Case cases[] = {
        {{}, "/dev/ttyUSB0", {"/dev/ttyUSB0"}},
        {{"/dev/a", "/dev/b"}, "/dev/b", {"/dev/b", "/dev/a"}},
        {{"/dev/a", "/dev/b", "/dev/c", "/dev/d"},
         "/dev/e",
         {"/dev/e", "/dev/a", "/dev/b", "/dev/c"}},
        {{"/dev/a"}, "", {"/dev/a"}},
        // A pseudo-terminal's number is someone else's next time.
        {{"/dev/a"}, "/dev/pts/3", {"/dev/a"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RememberAnsweredPort(c.before, c.answered), c.after) << c.answered;
    }
}

TEST(PortSlots, ListsAFolderAndLetsAssignedPortsStand) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("fotolyx-devices-" + std::to_string(::getpid()));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder / "serial" / "by-id");
    std::ofstream(folder / "ttyUSB0").put('x');
    std::filesystem::create_symlink("../../ttyUSB0",
                                    folder / "serial" / "by-id" / "usb-Maker_Cable");
    PortMap given;
    ASSERT_TRUE(given.Parse("COM3=/somewhere/else"));
    const PortMap ports = FillPortSlots(given, {(folder / "ttyUSB0").string()}, folder);
    EXPECT_EQ(ports.PathOf(PORT_COM1), (folder / "ttyUSB0").string());
    // The same device under its stable name takes no second slot.
    EXPECT_EQ(ports.PathOf(PORT_COM2), (folder / "ttyS0").string());
    EXPECT_EQ(ports.PathOf(PORT_COM3), "/somewhere/else");
    EXPECT_EQ(ports.PathOf(PORT_COM4), (folder / "ttyS1").string());
    // A port given on COM1 pushes the remembered one to COM2, and is not tried twice.
    PortMap first;
    ASSERT_TRUE(first.Parse("COM1=" + (folder / "ttyS0").string()));
    const PortMap pushed = FillPortSlots(first, {(folder / "ttyUSB0").string()}, folder);
    EXPECT_EQ(pushed.PathOf(PORT_COM1), (folder / "ttyS0").string());
    EXPECT_EQ(pushed.PathOf(PORT_COM2), (folder / "ttyUSB0").string());
    EXPECT_EQ(pushed.PathOf(PORT_COM3), (folder / "ttyS1").string());
    EXPECT_EQ(pushed.PathOf(PORT_COM4), (folder / "ttyS2").string());
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace fotolyx
