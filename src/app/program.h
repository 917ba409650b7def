#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/display_state.h"
#include "app/frame.h"
#include "app/picture_hand_over.h"
#include "app/picture_upload_host.h"
#include "camera_index/capture_windows.h"
#include "camera_index/index_transfer.h"
#include "camera_index/picture_download.h"
#include "camera_index/please_wait_dialog.h"
#include "camera_index/preview_window.h"
#include "imaging/dib_block.h"
#include "imaging/jpeg_codec.h"
#include "imaging/palette.h"
#include "imaging/save_pipeline.h"
#include "link/link_setup.h"
#include "link/link_state.h"
#include "link/receiver.h"
#include "link/termios_line.h"
#include "live/live_decoding.h"
#include "ports/free_space.h"
#include "upload/picture_upload.h"
#include "windows/live_image_window.h"
#include "windows/open_preview.h"
#include "windows/picture_window.h"

namespace fotolyx {

class Shell;
class Timers;
class SerialLine;
class LocalClock;
class Memory;
class Program;

// The program as host of its Openfile windows: Save As proposes a name from the local time,
// Data out to camera starts the upload.
class OpenfileHost final : public PictureWindowHost {
  public:
    explicit OpenfileHost(Program& program) : program_(program) {}
    std::string DefaultFileName(std::uint32_t position) const override;
    SaveContext MakeSaveContext() override;
    void Upload(WindowId window, int commandId, const DibBlock& picture) override;
    Memory& WindowMemory() override;

  private:
    Program& program_;
};

// The world as the host finds it at start-up.
struct HostEnvironment {
    std::filesystem::path programDirectory;  // folder of the program file
    std::filesystem::path startDirectory;    // current directory at start-up
    std::filesystem::path configHome;        // $XDG_CONFIG_HOME, or ~/.config
    std::filesystem::path tempDirectory;     // the system's temporary folder
    std::filesystem::path settingsFile;      // --settings or $FOTOLYX_SETTINGS; empty: the usual
                                             // place (see ChooseSettingsPath)
    bool trueColourDisplay = true;           // false for a screen of exactly 8 bits per pixel
    std::filesystem::path deviceFolder = "/dev";  // $FOTOLYX_DEVICE_FOLDER: where ports are found

    // Reads the running process: its executable, working directory and environment.
    static HostEnvironment FromProcess(bool trueColourDisplay);
};

struct Ports {
    Shell& shell;
    Timers& timers;
    SerialLine& line;
    LocalClock& clock;
    Memory& memory;
    FreeSpace& freeSpace;
};

inline constexpr int FRAME_TIMER_OPEN_PORT = 2;
inline constexpr int OPEN_PORT_DELAY_MS = 300;

inline constexpr std::size_t TRANSFER_BUFFER_SIZE = 925'696;
inline constexpr std::size_t THUMBNAIL_BUFFER_SIZE = 59'392;
inline constexpr std::size_t WORK_IMAGE_SIZE = 925'696;
inline constexpr std::size_t LIVE_PREVIEW_IMAGE_SIZE = 59'392;
inline constexpr std::size_t LIVE_PHOTO_IMAGE_SIZE = 925'696;
inline constexpr std::int32_t LIVE_PREVIEW_WIDTH = 160;
inline constexpr std::int32_t LIVE_PREVIEW_HEIGHT = 120;
inline constexpr std::int32_t LIVE_PHOTO_WIDTH = 640;
inline constexpr std::int32_t LIVE_PHOTO_HEIGHT = 480;

inline constexpr char SETTINGS_FILE_NAME[] = "snapcfg.ini";
inline constexpr char SETTINGS_SECTION[] = "Mode";
inline constexpr char SETTINGS_KEY_FILEPREV[] = "FILEPREV";
inline constexpr char SETTINGS_KEY_FILEINITPATH[] = "FILEINITPATH";
// The devices a camera answered on, most recent first, as COM1..COM4 in their own section.
inline constexpr char SETTINGS_PORTS_SECTION[] = "Ports";

// The frame window's place, size and maximised state, in a section of their own.
inline constexpr char FRAME_SECTION[] = "Frame";
inline constexpr char FRAME_KEY_X[] = "X";
inline constexpr char FRAME_KEY_Y[] = "Y";
inline constexpr char FRAME_KEY_WIDTH[] = "WIDTH";
inline constexpr char FRAME_KEY_HEIGHT[] = "HEIGHT";
inline constexpr char FRAME_KEY_MAXIMIZED[] = "MAXIMIZED";
inline constexpr int FRAME_MIN_SIDE = 100;
inline constexpr int FRAME_MAX_SIDE = 16384;
inline constexpr int FRAME_MAX_OFFSET = 16384;

// The frame's normal (not maximised) outer rectangle and whether it was maximised.
struct FramePlacement {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool maximised = false;
    bool operator==(const FramePlacement&) const = default;
};

struct SettingsState {
    std::filesystem::path SettingsPath;
    bool FilePreviewEnabled = false;
    std::string OpenInitialDir;
    // The [Ports] section as read at start-up, and the device the camera answered on this run.
    std::vector<std::string> RememberedPorts;
    std::string AnsweredPort;
    // None until the frame has been placed once: the first start uses the fixed size.
    std::optional<FramePlacement> framePlacement;
};

struct ScratchFiles {
    std::filesystem::path ScratchFileA;
    std::filesystem::path ScratchFileB;
};

// Allocated at start-up, released at shutdown; a buffer that could not be had stays empty.
struct LongLivedBuffers {
    std::optional<std::vector<std::uint8_t>> TransferBuffer;
    std::optional<std::vector<std::uint8_t>> ThumbnailBuffer;
    std::optional<DibBlock> WorkImage;
    std::optional<DibBlock> LivePreviewImage;
    std::optional<DibBlock> LivePhotoImage;
};

// All process-wide state of one run of the program. Tests make one per case.
class Program {
  public:
    Program(Ports ports, HostEnvironment environment);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Start-up initialisation, run once while the frame is being created.
    void Startup();
    // Shutdown, run once while the frame is being destroyed.
    void Shutdown();

    Ports ports;
    HostEnvironment environment;

    DisplayState display;
    SettingsState settings;
    std::filesystem::path StartDirectory;
    ScratchFiles scratch;
    LongLivedBuffers buffers;
    LinkState link;

    // The camera link: the receiver the host feeds from the line, and the set-up with its
    // recovery dialogs.
    Receiver receiver{link, ports.line};
    JpegState saveJpeg;
    SaveState saveState;
    // The camera's pictures: the index with its thumbnails, the downloads into Capture windows,
    // the one please-wait dialog (the upload's too) and the Preview window over them.
    PleaseWaitDialog pleaseWait{ports.shell};
    IndexTransfer indexTransfer{MakePicturePorts(), pleaseWait};
    CaptureWindows captureWindows{MakePicturePorts(), indexTransfer.index};
    PictureDownload pictureDownload{MakePicturePorts(), indexTransfer, captureWindows, pleaseWait};
    PreviewWindow previewWindow{MakePicturePorts(), indexTransfer, pictureDownload};
    PictureHandOver linkHandOver{indexTransfer, pictureDownload};
    LinkSetup linkSetup{link,     ports.line,   ports.timers,       ports.shell,
                        receiver, linkHandOver, display.RunningOnNt};

    // A timer of one of the program's windows fired.
    void TimerFired(WindowId window, int id);

    // The save pipeline bound to this program's state.
    SaveContext MakeSaveContext();

    // The active MDI child.
    WindowId activeChild = LIVE_IMAGE_WINDOW;

    // The Live image window and its two packet handlers.
    LiveState live;
    LiveHandlers liveHandlers{
        live,
        LiveHandlerPorts{link, ports.line, ports.timers, ports.shell, buffers.LivePreviewImage,
                         buffers.LivePhotoImage, [this] { return activeChild; }}};
    LiveImageWindow liveWindow{live, MakeLiveWindowPorts()};
    // The frame's commands and the close sequence; it knows whether the exit is confirmed.
    Frame frame{ports.shell, ports.line, live, liveWindow};

    // Openfile windows, newest last.
    std::vector<std::unique_ptr<PictureWindow>> openfileWindows;
    OpenfileHost openfileHost{*this};
    // Creates an Openfile window from WorkImage; "Not enough memory." and false when its
    // picture memory cannot be had.
    PictureWindow* CreateOpenfileWindow(const std::string& title, bool modified);
    PictureWindow* FindOpenfileWindow(WindowId window);
    // The window has gone (its view closed).
    void DestroyOpenfileWindow(WindowId window);
    // Image Adjustment changed the window's picture: modified, a new palette on an 8-bit
    // display, repainted.
    void OpenfilePictureChanged(WindowId window);
    // 8-bit displays: the palette built for the window's picture becomes ImagePalette, the
    // screen's palette and the window's own.
    void RebuildOpenfilePalette(PictureWindow& window);
    // Sizes shared by all Openfile windows, and what the Open dialog keeps between runs.
    OpenViewSize openView;
    OpenDialogState openDialog;
    // Data out to camera and its watchdog.
    UploadState upload;
    PictureUploadHost uploadHost{indexTransfer, pleaseWait, ports.shell};
    PictureUpload pictureUpload{
        upload, UploadPorts{link, ports.line, ports.timers, ports.shell, ports.clock, uploadHost,
                            buffers.TransferBuffer, buffers.ThumbnailBuffer,
                            [this] { return MakeSaveContext(); },
                            [this] { linkSetup.OpenDisconnectDialog(); }}};

    // A window is painted (a host without a display does it after each invalidation).
    void PaintWindow(WindowId window);

    // Reconnect: every Openfile window is asked about unsaved changes and closed ...
    void CloseOpenfileWindowsForReconnect();
    // ... and the live view's and the upload's counters and flags start afresh.
    void ResetLiveAndUploadForReconnect();
    // The re-set-up: the Preview window becomes the active one when the Live image window is.
    void ActivatePreviewIfLiveActive();

  private:
    PicturePorts MakePicturePorts();
    LiveWindowPorts MakeLiveWindowPorts();
    void AllocateBuffers();
    void ReadSettings();
    void WriteSettings();
    void RemoveScratchFiles();

    bool shutDown_ = false;
    WindowId nextWindowId_ = FIRST_OPENFILE_WINDOW;
};

// The fixed palette of 8-bit screens: six dark greys, ten light greys, then a colour cube of
// 5 blue x 6 green x 8 red levels.
LogPalette MakeFixedScreenPalette();

// The file the user named (--settings, $FOTOLYX_SETTINGS); else snapcfg.ini beside the program
// when that folder is writable, else in the user's config folder.
std::filesystem::path ChooseSettingsPath(const HostEnvironment& environment);

// The remembered ports of a settings file's [Ports] section, COM1 first.
std::vector<std::string> ReadRememberedPorts(const std::filesystem::path& settingsPath);

// The [Trace] FILE setting: where the window program writes the line's trace; empty for none.
std::string ReadTraceSetting(const std::filesystem::path& settingsPath);

// The ports of a run: those given on the command line, the others filled from the remembered
// ports, the USB serial adapters present and the built-in ports.
PortMap PortsForRun(const PortMap& given, const HostEnvironment& environment);

// Creates an empty, uniquely named "tmp…" file in folder; empty path when it cannot.
std::filesystem::path CreateScratchFile(const std::filesystem::path& folder);

}  // namespace fotolyx
