#include <array>
#include <chrono>
#include <iostream>
#include <optional>
#include <string>

#include "app/program.h"
#include "cli/cli.h"
#include "link/link_setup.h"
#include "link/poll_loop.h"
#include "link/termios_line.h"

namespace fotolyx::cli {

namespace {

constexpr auto SETUP_LIMIT = std::chrono::seconds(30);
constexpr std::array<int, 4> PORT_IDS = {PORT_COM1, PORT_COM2, PORT_COM3, PORT_COM4};

// Message boxes and link dialogs go to stderr; any of the set-up's dead ends ends the command.
class InfoShell final : public WindowlessShell {
  public:
    int MessageBox(std::string_view text, std::string_view caption, unsigned style) override {
        std::cerr << caption << ": " << text << '\n';
        // Port setting faults are reported and the set-up goes on; everything else stops it.
        if (caption != CAPTION_COM_PORT_ERROR) {
            failed = true;
        }
        return (style & 0x000F) == MB_OKCANCEL ? IDCANCEL : IDOK;
    }
    void SetStatusText(std::string_view) override {}
    void ShowLinkDialog(LinkDialog dialog) override {
        std::cerr << LinkDialogText(dialog) << '\n';
        failed = true;
        scanFailed = scanFailed || dialog == LinkDialog::ComReconnect;
    }
    void EndLinkDialog(LinkDialog) override {}
    void EnableMdiClient(bool) override {}
    void ShowHelpContext(int) override {}

    bool failed = false;
    bool scanFailed = false;  // no port had a camera
};

// The termios line, remembering how each port's opening went.
class RecordingLine final : public SerialLine {
  public:
    explicit RecordingLine(PortMap map) : line(std::move(map)) {}

    LineOpenResult Open(int portId) override {
        const LineOpenResult result = line.Open(portId);
        for (std::size_t i = 0; i < PORT_IDS.size(); ++i) {
            if (PORT_IDS[i] == portId) {
                results[i] = result;
            }
        }
        return result;
    }
    void Close() override { line.Close(); }
    bool IsOpen() const override { return line.IsOpen(); }
    void Write(std::span<const std::uint8_t> bytes) override { line.Write(bytes); }
    std::size_t Read(std::span<std::uint8_t> buffer) override { return line.Read(buffer); }
    bool SetBaudRate(std::uint32_t baud) override { return line.SetBaudRate(baud); }
    void Purge() override { line.Purge(); }
    LineSettingsFault OpenSettingsFault() const override { return line.OpenSettingsFault(); }

    TermiosLine line;
    std::array<std::optional<LineOpenResult>, 4> results;
};

void ReportPorts(const RecordingLine& line) {
    for (std::size_t i = 0; i < PORT_IDS.size(); ++i) {
        if (!line.results[i]) {
            continue;
        }
        const std::string where = std::string(PortName(PORT_IDS[i])) + " (" +
                                  line.line.map().PathOf(PORT_IDS[i]).value_or("") + "): ";
        switch (*line.results[i]) {
            case LineOpenResult::Opened:
                std::cerr << where << "opened, no camera answered\n";
                break;
            case LineOpenResult::Missing:
                std::cerr << where << "no such device\n";
                break;
            case LineOpenResult::PermissionDenied:
                std::cerr << where
                          << "permission denied (you may need to be in the dialout group)\n";
                break;
            case LineOpenResult::Failed:
                std::cerr << where << "cannot be opened (in use?)\n";
                break;
        }
    }
}

}  // namespace

// Finds the camera, sets the link up and tells what it found, then resets the link.
int RunInfo(Context& context, const Arguments& arguments) {
    PortMap map;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == "--port" && i + 1 < arguments.size() && map.Parse(arguments[i + 1])) {
            ++i;
            continue;
        }
        std::cerr << "fotolyx-cli info: bad argument '" << arguments[i]
                  << "' (expected --port COMn=PATH)\n";
        return 2;
    }

    InfoShell shell;
    PollLoop loop;
    RecordingLine line(map);
    Program program(Ports{shell, loop, line, context.clock, context.memory},
                    HostEnvironment::FromProcess(true));
    loop.onTimer = [&program](WindowId window, int id) { program.TimerFired(window, id); };
    loop.watchedFd = [&] { return program.receiver.Watching() ? line.line.FileDescriptor() : -1; };
    loop.onReadable = [&program] { program.receiver.OnReadable(); };
    loop.onHangUp = [&program] { program.receiver.OnHangUp(); };

    program.Startup();
    const bool finished = loop.RunUntil(
        [&] { return program.linkHandOver.indexTransferStarts > 0 || shell.failed; }, SETUP_LIMIT);
    const bool ready = finished && !shell.failed;
    if (ready) {
        const LinkState& link = program.link;
        std::cout << "Port: " << PortName(link.SelectedPort) << " ("
                  << map.PathOf(link.SelectedPort).value_or("") << ")\n"
                  << "Model: " << std::string(link.IdentifiedModelCode.data(), 3) << '\n'
                  << "Speed: " << link.CurrentBaudRate << '\n'
                  << "Mode: camera\n";
    } else {
        if (!finished) {
            std::cerr << "No answer from the camera in time.\n";
        }
        if (!finished || shell.scanFailed) {
            ReportPorts(line);
        }
    }
    program.Shutdown();
    return ready ? 0 : 1;
}

}  // namespace fotolyx::cli
