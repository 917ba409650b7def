// Which device stands behind each port, and the line on it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "link/port_slots.h"
#include "link/protocol.h"
#include "link/termios_line.h"
#include "support/fakes.h"
#include "support/pseudo_terminal.h"

namespace fotolyx {
namespace {

using List = std::vector<std::string>;

// The words of text, each with prefix before it.
List Words(const std::string& text, const std::string& prefix = "") {
    List words;
    std::istringstream in(text);
    for (std::string word; in >> word;) {
        words.push_back(prefix + word);
    }
    return words;
}

// Rows: remembered ports, stable names, kernel names, the four slots (all but the stable names
// under /dev).
TEST(PortSlots, FillsRememberedThenAdaptersThenBuiltInPorts) {
    auto deviceOf = [](const std::string& path) -> std::string {
        if (path.starts_with("/dev/serial/by-id/usb-")) {
            return path.ends_with("-A")   ? "/dev/ttyUSB1"
                   : path.ends_with("-B") ? "/dev/ttyUSB0"
                                          : "";
        }
        const List present = Words("ttyUSB0 ttyUSB1 ttyUSB10 ttyUSB2 ttyACM0 ttyS0 ttyS1", "/dev/");
        return std::find(present.begin(), present.end(), path) != present.end() ? path : "";
    };
    const char* cases[][4] = {
        {"", "", "ttyS0 ttyS1 tty0 null", "ttyS0 ttyS1 ttyS2 ttyS3"},
        {"", "", "ttyACM0 ttyUSB10 ttyUSB2 ttyS0 ttyUSBx ttyUSB", "ttyUSB2 ttyUSB10 ttyACM0 ttyS0"},
        {"", "usb-B usb-A", "ttyUSB0 ttyUSB1", "serial/by-id/usb-A serial/by-id/usb-B ttyS0 ttyS1"},
        // The remembered port's other name is not tried twice; a port that is gone takes no slot.
        {"ttyUSB0", "usb-A usb-B", "", "ttyUSB0 serial/by-id/usb-A ttyS0 ttyS1"},
        {"serial/by-id/usb-gone ttyS1", "", "ttyACM0", "ttyS1 ttyACM0 ttyS0 ttyS2"},
        {"", "", "ttyUSB0 ttyUSB1 ttyUSB2 ttyUSB10 ttyACM0", "ttyUSB0 ttyUSB1 ttyUSB2 ttyUSB10"},
    };
    for (const auto& c : cases) {
        const SerialDeviceListing listing{"/dev", Words(c[1]), Words(c[2])};
        const auto slots = OrderPortSlots(Words(c[0], "/dev/"), listing, deviceOf);
        EXPECT_EQ(List(slots.begin(), slots.end()), Words(c[3], "/dev/")) << c[2];
    }
}

// Rows under /dev: the list before, the port that answered ("": none), the list after. A
// pseudo-terminal's number is someone else's next time.
TEST(PortSlots, TheAnsweredPortMovesToTheFrontOfAtMostFour) {
    const char* cases[][3] = {
        {"", "ttyUSB0", "ttyUSB0"},
        {"a b", "b", "b a"},
        {"a b c d", "e", "e a b c"},
        {"a", "pts/3", "a"},
    };
    for (const auto& c : cases) {
        const std::string answered = *c[1] == 0 ? "" : std::string("/dev/") + c[1];
        EXPECT_EQ(RememberAnsweredPort(Words(c[0], "/dev/"), answered), Words(c[2], "/dev/"))
            << c[1];
    }
}

List Paths(const PortMap& map) {
    List paths;
    for (int port : {PORT_COM1, PORT_COM2, PORT_COM3, PORT_COM4}) {
        paths.push_back(map.PathOf(port).value_or("none"));
    }
    return paths;
}

// A device under its stable name takes no second slot; a port given on COM1 pushes the
// remembered one to COM2 and is not tried twice; a port given elsewhere stands.
TEST(PortSlots, ListsAFolderAndLetsAssignedPortsStand) {
    testing::TempDir folder;
    auto at = [&](const char* name) { return (folder / name).string(); };
    std::filesystem::create_directories(folder / "serial" / "by-id");
    testing::WriteBytes(folder / "ttyUSB0", {1});
    std::filesystem::create_symlink("../../ttyUSB0", folder / "serial/by-id/usb-Maker_Cable");
    PortMap given;
    ASSERT_TRUE(given.Parse("COM3=/somewhere/else"));
    EXPECT_EQ(Paths(FillPortSlots(given, {at("ttyUSB0")}, folder.path())),
              (List{at("ttyUSB0"), at("ttyS0"), "/somewhere/else", at("ttyS1")}));
    PortMap first;
    ASSERT_TRUE(first.Parse("COM1=" + at("ttyS0")));
    EXPECT_EQ(Paths(FillPortSlots(first, {at("ttyUSB0")}, folder.path())),
              (List{at("ttyS0"), at("ttyUSB0"), at("ttyS1"), at("ttyS2")}));
}

TEST(PortMap, MapsTheFourPortsAndRefusesAnythingElse) {
    PortMap map;
    EXPECT_TRUE(map.Parse("COM3=/dev/ttyUSB0"));
    EXPECT_EQ(Paths(map), (List{"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyUSB0", "/dev/ttyS3"}));
    for (const char* bad : {"COM5=/dev/x", "COM1", "COM1=", "=/dev/x", "com1=/dev/x"}) {
        EXPECT_FALSE(map.Parse(bad)) << bad;
    }
    EXPECT_FALSE(map.PathOf(1003).has_value());
    EXPECT_EQ(PortName(PORT_COM3), "COM3");
}

TEST(TermiosLine, OpensRaw8N1At9600AndChangesOnlyTheSpeed) {
    testing::PseudoTerminal pty;
    ASSERT_FALSE(pty.path.empty());
    PortMap map;
    map.Set(PORT_COM2, pty.path);
    TermiosLine line(map);
    ASSERT_EQ(line.Open(PORT_COM2), LineOpenResult::Opened);
    EXPECT_EQ(line.OpenSettingsFault(), LineSettingsFault::None);  // no DTR on a pty: fine
    termios settings{};
    ASSERT_EQ(::tcgetattr(line.FileDescriptor(), &settings), 0);
    EXPECT_EQ(::cfgetospeed(&settings), B9600);
    EXPECT_EQ(settings.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(settings.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(settings.c_lflag & (ICANON | ECHO), 0u);
    EXPECT_EQ(::fcntl(line.FileDescriptor(), F_GETFL) & O_NONBLOCK, O_NONBLOCK);
    ASSERT_TRUE(line.SetBaudRate(57'600));
    ASSERT_EQ(::tcgetattr(line.FileDescriptor(), &settings), 0);
    EXPECT_EQ(std::tuple(::cfgetospeed(&settings), settings.c_cflag & CSIZE),
              std::tuple(B57600, static_cast<tcflag_t>(CS8)));
    EXPECT_FALSE(line.SetBaudRate(12'345));
    const std::uint8_t out[] = {IDENTIFY};
    line.Write(out);
    std::uint8_t got = 0;
    ASSERT_EQ(::read(pty.master, &got, 1), 1);
    EXPECT_EQ(got, IDENTIFY);
    const std::uint8_t in[] = {1, 2, 3};
    ASSERT_EQ(::write(pty.master, in, 3), 3);
    ::usleep(20'000);
    std::uint8_t buffer[2] = {};
    EXPECT_EQ(line.Read(buffer), 2u);
    EXPECT_EQ(line.Read(buffer), 1u);
    EXPECT_EQ(line.Read(buffer), 0u);
    line.Close();
    EXPECT_EQ(line.FileDescriptor(), -1);
}

// A missing device, one that is no terminal and one that may not be opened are told apart; the
// last names the group to join.
TEST(TermiosLine, TellsWhyADeviceCannotBeOpened) {
    testing::TempDir folder;
    const std::string locked = (folder / "ttyUSB7").string();
    testing::WriteBytes(folder / "ttyUSB7", {1});
    testing::WriteBytes(folder / "plain", {1, 2, 3});
    ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
    ASSERT_EQ(::chmod(folder.path().c_str(), 0755), 0);
    PortMap map;
    map.Set(PORT_COM1, (folder / "absent").string());
    map.Set(PORT_COM2, locked);
    map.Set(PORT_COM3, (folder / "plain").string());
    // As an ordinary user: the superuser may open anything, so a child gives that up first.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
            ::_exit(3);
        }
        TermiosLine line(map);
        const bool openedAsExpected = line.Open(PORT_COM1) == LineOpenResult::Missing &&
                                      line.Open(PORT_COM2) == LineOpenResult::PermissionDenied;
        const std::string expected = "Permission denied on " + locked +
                                     ": join the dialout group (sudo adduser $USER dialout), then "
                                     "log in again.";
        ::_exit(!openedAsExpected ? 1 : line.AccessHint() != expected ? 2 : 0);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: wrong results, 2: wrong hint, 3: no ordinary user";
    TermiosLine line(map);
    EXPECT_EQ(line.Open(PORT_COM3), LineOpenResult::Failed);
    EXPECT_EQ(line.AccessHint(), "");  // nothing denied, nothing to say
}

}  // namespace
}  // namespace fotolyx
