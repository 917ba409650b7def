#include "link/termios_line.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "link/protocol.h"
#include "support/fakes.h"

namespace fotolyx {
namespace {

// A pseudo-terminal whose other end the test holds.
struct Pty {
    int master = -1;
    std::string path;
    Pty() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0) {
            path = ::ptsname(master);
        }
    }
    ~Pty() {
        if (master >= 0) {
            ::close(master);
        }
    }
};

TEST(PortMap, MapsTheFourPortsAndRefusesAnythingElse) {
    PortMap map;
    EXPECT_EQ(map.PathOf(PORT_COM1), "/dev/ttyS0");
    EXPECT_EQ(map.PathOf(PORT_COM4), "/dev/ttyS3");
    EXPECT_TRUE(map.Parse("COM3=/dev/ttyUSB0"));
    EXPECT_EQ(map.PathOf(PORT_COM3), "/dev/ttyUSB0");
    for (const char* bad : {"COM5=/dev/x", "COM1", "COM1=", "=/dev/x", "com1=/dev/x"}) {
        EXPECT_FALSE(map.Parse(bad)) << bad;
    }
    EXPECT_FALSE(map.PathOf(1003).has_value());
    EXPECT_EQ(PortName(PORT_COM3), "COM3");
}

TEST(TermiosLine, OpensRaw8N1At9600AndChangesOnlyTheSpeed) {
    Pty pty;
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
    termios after{};
    ASSERT_EQ(::tcgetattr(line.FileDescriptor(), &after), 0);
    EXPECT_EQ(::cfgetospeed(&after), B57600);
    EXPECT_EQ(after.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_FALSE(line.SetBaudRate(12'345));
    // Bytes both ways; a read never takes more than asked and never blocks.
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
    EXPECT_FALSE(line.IsOpen());
    EXPECT_EQ(line.FileDescriptor(), -1);
}

TEST(TermiosLine, TellsAMissingDeviceFromOneThatIsNoTerminal) {
    testing::TempDir folder;
    testing::WriteBytes(folder / "plain", {1, 2, 3});
    PortMap map;
    map.Set(PORT_COM1, (folder / "absent").string());
    map.Set(PORT_COM2, (folder / "plain").string());
    TermiosLine line(map);
    EXPECT_EQ(line.Open(PORT_COM1), LineOpenResult::Missing);
    EXPECT_EQ(line.Open(PORT_COM2), LineOpenResult::Failed);
    EXPECT_EQ(line.Open(1003), LineOpenResult::Missing);
    EXPECT_FALSE(line.IsOpen());
}

TEST(TermiosLine, ADeviceThatMayNotBeOpenedNamesTheGroupToJoin) {
    testing::TempDir folder;
    const std::string locked = (folder / "ttyUSB7").string();
    testing::WriteBytes(folder / "ttyUSB7", {1});
    ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
    ASSERT_EQ(::chmod(folder.path().c_str(), 0755), 0);
    PortMap map;
    map.Set(PORT_COM1, (folder / "absent").string());
    map.Set(PORT_COM2, locked);
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
    // Nothing denied, nothing to say.
    TermiosLine line(map);
    EXPECT_EQ(line.AccessHint(), "");
}

}  // namespace
}  // namespace fotolyx
