#pragma once

#include <QString>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/program.h"
#include "gui/frame_window.h"
#include "gui/live_image_view.h"
#include "gui/picture_view.h"
#include "gui/preview_view.h"
#include "gui/qt_shell.h"
#include "gui/simulated_camera.h"
#include "host/line_watcher.h"
#include "host/qt_timers.h"
#include "host/system_clock.h"
#include "link/line_trace.h"
#include "link/termios_line.h"
#include "ports/free_space.h"
#include "ports/memory.h"

namespace fotolyx::gui {

// fotolyx [--simulate[=FOLDER]] [--port COMn=PATH]... [--display-depth 8|24] [--settings FILE]
//         [FILE]...
struct GuiOptions {
    PortMap ports;
    std::string settingsFile;  // empty: $FOTOLYX_SETTINGS, else the usual place
    bool simulate = false;
    QString simulateFolder;      // empty: generated sample pictures
    int displayDepth = 0;        // 0: the screen's own depth
    std::string logPath;         // --log: the serial line's trace (else the settings' [Trace] FILE)
    std::vector<QString> files;  // pictures opened at start
};

// Reads the command line (without the program name); false with a message in error.
bool ParseGuiOptions(const std::vector<std::string>& arguments, GuiOptions& options,
                     std::string& error);

inline constexpr char GUI_USAGE[] =
    "Usage: fotolyx [--simulate[=FOLDER]] [--port COMn=PATH]... [--display-depth 8|24] "
    "[--settings FILE] [--log FILE] [FILE]...\n"
    "  --simulate[=FOLDER]  COM1 is a simulated camera holding sample pictures (or the JPEG\n"
    "                       files of FOLDER)\n"
    "  --port COMn=PATH     the device of port COMn for this run (default: the port the\n"
    "                       camera answered on last time, USB serial adapters, then\n"
    "                       /dev/ttyS0../dev/ttyS3)\n"
    "  --display-depth 8    draw as on a 256-colour screen (24: as on a true-colour one)\n"
    "  --settings FILE      read and write the settings in FILE (also $FOTOLYX_SETTINGS;\n"
    "                       default: snapcfg.ini beside the program, or in\n"
    "                       ~/.config/fotolyx when that folder may not be written)\n"
    "  FILE                 a JPEG or BMP picture to open in its own window\n"
    "  --log FILE           write a trace of the serial line to FILE (also the setting FILE\n"
    "                       in section [Trace] of the settings file); fotolyx-camsim\n"
    "                       --replay FILE answers as the camera did\n"
    "  --version            print the version and stop\n";

// The whole window program: the ports on Qt's event loop, the program, the frame and its
// windows. One per process (tests make one per case).
class GuiProgram final : public PictureViewHost {
  public:
    // logPath: where the line's trace goes; empty for none.
    GuiProgram(PortMap ports, HostEnvironment environment, const std::string& logPath = {});
    ~GuiProgram() override;
    GuiProgram(const GuiProgram&) = delete;
    GuiProgram& operator=(const GuiProgram&) = delete;

    // Creates the frame and its windows and runs the start-up; shows the frame.
    void Start();

    Program& program() { return program_; }
    FrameWindow& frame() { return *frame_; }
    QtShell& shell() { return shell_; }
    host::QtTimers& timers() { return timers_; }
    TermiosLine& line() { return line_; }
    bool Tracing() const { return traceFile_.is_open(); }

    // After anything the program handled: the line to watch may have changed.
    void AfterEvent() override;

    // Opens each picture file in an Openfile window, as the Open command does.
    void OpenFiles(const std::vector<QString>& files);

    // The end without a question (a signal, the application quitting): live view and photo
    // stopped, then the shutdown Exit runs (camera link reset, settings written, scratch files
    // removed). Once only; later calls do nothing.
    void EndWithoutAsking();
    // The desktop session ends. When the session manager lets the program ask, Exit's own
    // sequence runs with its exit and save prompts and the result says whether the program
    // agreed to end; otherwise it ends without asking. True when the program has ended.
    bool SessionEnding(bool mayAsk);

  private:
    QtShell shell_;
    host::QtTimers timers_;
    TermiosLine line_;
    std::ofstream traceFile_;
    TracingLine tracing_;
    host::SystemLocalClock clock_;
    Memory memory_;
    SystemFreeSpace freeSpace_;
    Program program_;
    host::LineWatcher watcher_;
    std::unique_ptr<FrameWindow> frame_;

    // The Preview window's logic as its view reaches it.
    class PreviewBinding final : public PreviewLogic {
      public:
        explicit PreviewBinding(GuiProgram& gui) : gui_(gui) {}
        PreviewPaintState PaintState() override;
        ScrollBarState ScrollBar() override;
        void Click(int x, int y, unsigned keys) override;
        void DoubleClick(int x, int y, unsigned keys) override;
        void Scroll(int request, int position) override;
        void Command(int id) override;
        int DrawItem(int id, unsigned itemState, unsigned itemAction) override;
        void Activated(bool active) override;
        void AfterEvent() override { gui_.AfterEvent(); }

      private:
        PreviewWindow& Preview() { return gui_.program_.previewWindow; }
        GuiProgram& gui_;
    };
    PreviewBinding previewBinding_{*this};

    // The Live image window's logic and state as its view reaches them.
    class LiveBinding final : public LiveViewHost {
      public:
        explicit LiveBinding(GuiProgram& gui) : gui_(gui) {}
        LiveImageWindow& Logic() override { return gui_.program_.liveWindow; }
        const LiveState& Live() const override { return gui_.program_.live; }
        const std::optional<DibBlock>& LivePreview() const override {
            return gui_.program_.buffers.LivePreviewImage;
        }
        const std::optional<DibBlock>& LivePhoto() const override {
            return gui_.program_.buffers.LivePhotoImage;
        }
        std::uint8_t ModelVariant() const override { return gui_.program_.link.ModelVariant; }
        DisplayState& Display() override { return gui_.program_.display; }
        bool IsActiveChild() const override {
            return gui_.program_.activeChild == LIVE_IMAGE_WINDOW;
        }
        void BecameActiveChild() override { gui_.program_.activeChild = LIVE_IMAGE_WINDOW; }
        void AfterEvent() override { gui_.AfterEvent(); }

      private:
        GuiProgram& gui_;
    };
    LiveBinding liveBinding_{*this};

    // --- PictureViewHost: Capture windows are the camera pictures', Openfile windows the
    // program's.
    PictureWindow* FindPictureWindow(WindowId id) override;
    void PictureViewClosed(WindowId id) override;
    void AdjustPicture(QWidget* owner, WindowId id) override;
    const DisplayState& Display() const override { return program_.display; }
};

}  // namespace fotolyx::gui
