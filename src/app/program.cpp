#include "app/program.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdlib>
#include <string>
#include <system_error>
#include <vector>

#include "app/ini_file.h"
#include "link/port_slots.h"
#include "link/protocol.h"
#include "ports/memory.h"
#include "ports/serial_line.h"
#include "ports/shell.h"
#include "ports/timers.h"

namespace fotolyx {

static_assert(FRAME_TIMER_OPEN_PORT == FRAME_TIMER_PORT_OPEN);
static_assert(OPEN_PORT_DELAY_MS == PORT_OPEN_DELAY_MS);

namespace {

constexpr std::size_t FILEPREV_MAX_CHARS = 9;
// A whole Linux path (PATH_MAX bytes with its terminator).
constexpr std::size_t FILEINITPATH_MAX_CHARS = 4095;
constexpr std::array<const char*, 4> REMEMBERED_PORT_KEYS = {"COM1", "COM2", "COM3", "COM4"};
constexpr std::size_t REMEMBERED_PORT_MAX_CHARS = 4095;
constexpr char SETTINGS_TRACE_SECTION[] = "Trace";
constexpr char SETTINGS_KEY_TRACE_FILE[] = "FILE";
constexpr std::size_t LOG_PALETTE_BLOCK_SIZE = 1'032;
constexpr std::uint8_t MID_GREY = 0x80;

bool FolderIsWritable(const std::filesystem::path& folder) {
    return !folder.empty() && ::access(folder.c_str(), W_OK | X_OK) == 0;
}

// A whole decimal number within [low, high], or none.
std::optional<int> NumberIn(const std::string& text, int low, int high) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end || value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

// The frame's placement as the settings file has it; none when any value is missing or out of
// range, so a hand-edited file can never make the frame unusable.
std::optional<FramePlacement> ReadFramePlacement(const IniFile& file) {
    constexpr std::size_t maxChars = 16;
    const auto read = [&](const char* key, int low, int high) {
        return NumberIn(file.GetString(FRAME_SECTION, key, "", maxChars), low, high);
    };
    const auto x = read(FRAME_KEY_X, -FRAME_MAX_OFFSET, FRAME_MAX_OFFSET);
    const auto y = read(FRAME_KEY_Y, -FRAME_MAX_OFFSET, FRAME_MAX_OFFSET);
    const auto width = read(FRAME_KEY_WIDTH, FRAME_MIN_SIDE, FRAME_MAX_SIDE);
    const auto height = read(FRAME_KEY_HEIGHT, FRAME_MIN_SIDE, FRAME_MAX_SIDE);
    const auto maximised = read(FRAME_KEY_MAXIMIZED, 0, 1);
    if (!x || !y || !width || !height || !maximised) {
        return std::nullopt;
    }
    return FramePlacement{*x, *y, *width, *height, *maximised == 1};
}

void WriteFramePlacement(IniFile& file, const FramePlacement& placement) {
    file.SetString(FRAME_SECTION, FRAME_KEY_X, std::to_string(placement.x));
    file.SetString(FRAME_SECTION, FRAME_KEY_Y, std::to_string(placement.y));
    file.SetString(FRAME_SECTION, FRAME_KEY_WIDTH, std::to_string(placement.width));
    file.SetString(FRAME_SECTION, FRAME_KEY_HEIGHT, std::to_string(placement.height));
    file.SetString(FRAME_SECTION, FRAME_KEY_MAXIMIZED, placement.maximised ? "1" : "0");
}

void ReportNoMemory(Shell& shell) {
    shell.MessageBox(TEXT_NOT_ENOUGH_MEMORY, CAPTION_GLOBAL_MEMORY, MB_ICONEXCLAMATION);
}

}  // namespace

HostEnvironment HostEnvironment::FromProcess(bool trueColourDisplay) {
    HostEnvironment environment;
    std::error_code error;
    const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
    environment.programDirectory = error ? std::filesystem::path(".") : executable.parent_path();
    environment.startDirectory = std::filesystem::current_path(error);
    if (error) {
        environment.startDirectory = ".";
    }
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        environment.configHome = xdg;
    } else if (home != nullptr && home[0] != '\0') {
        environment.configHome = std::filesystem::path(home) / ".config";
    }
    environment.tempDirectory = std::filesystem::temp_directory_path(error);
    if (error) {
        environment.tempDirectory = "/tmp";
    }
    if (const char* settings = std::getenv("FOTOLYX_SETTINGS");
        settings != nullptr && settings[0] != '\0') {
        environment.settingsFile = settings;
    }
    environment.trueColourDisplay = trueColourDisplay;
    const char* devices = std::getenv("FOTOLYX_DEVICE_FOLDER");
    if (devices != nullptr && devices[0] == '/') {
        environment.deviceFolder = devices;
    }
    return environment;
}

LogPalette MakeFixedScreenPalette() {
    LogPalette palette;
    auto grey = [](int level) {
        const auto v = static_cast<std::uint8_t>(level);
        return PaletteEntry{v, v, v, 0};
    };
    for (int i = 0; i < 6; ++i) {
        palette.palPalEntry[i] = grey(10 * i);
    }
    for (int i = 6; i < 16; ++i) {
        palette.palPalEntry[i] = grey(10 * i + 105);
    }
    for (int b = 0; b < 5; ++b) {
        for (int g = 0; g < 6; ++g) {
            for (int r = 0; r < 8; ++r) {
                palette.palPalEntry[16 + 48 * b + 8 * g + r] = PaletteEntry{
                    static_cast<std::uint8_t>(60 + 15 * r), static_cast<std::uint8_t>(60 + 20 * g),
                    static_cast<std::uint8_t>(60 + 24 * b), 0};
            }
        }
    }
    return palette;
}

std::filesystem::path ChooseSettingsPath(const HostEnvironment& environment) {
    if (!environment.settingsFile.empty()) {
        return environment.settingsFile;
    }
    if (FolderIsWritable(environment.programDirectory) || environment.configHome.empty()) {
        return environment.programDirectory / SETTINGS_FILE_NAME;
    }
    return environment.configHome / "fotolyx" / SETTINGS_FILE_NAME;
}

std::filesystem::path CreateScratchFile(const std::filesystem::path& folder) {
    const std::string pattern = (folder / "tmpXXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        return {};
    }
    ::close(fd);
    return std::filesystem::path(name.data());
}

std::vector<std::string> ReadRememberedPorts(const std::filesystem::path& settingsPath) {
    const IniFile file = IniFile::Load(settingsPath);
    std::vector<std::string> remembered;
    for (const char* key : REMEMBERED_PORT_KEYS) {
        std::string path =
            file.GetString(SETTINGS_PORTS_SECTION, key, "", REMEMBERED_PORT_MAX_CHARS);
        if (!path.empty()) {
            remembered.push_back(std::move(path));
        }
    }
    return remembered;
}

std::string ReadTraceSetting(const std::filesystem::path& settingsPath) {
    return IniFile::Load(settingsPath)
        .GetString(SETTINGS_TRACE_SECTION, SETTINGS_KEY_TRACE_FILE, "", REMEMBERED_PORT_MAX_CHARS);
}

PortMap PortsForRun(const PortMap& given, const HostEnvironment& environment) {
    return FillPortSlots(given, ReadRememberedPorts(ChooseSettingsPath(environment)),
                         environment.deviceFolder);
}

Program::Program(Ports programPorts, HostEnvironment hostEnvironment)
    : ports(programPorts), environment(std::move(hostEnvironment)) {
    linkHandOver.linkUp = [this] {
        settings.AnsweredPort = ports.line.DeviceName(link.SelectedPort);
    };
    receiver.setupHandler = [this] { linkSetup.HandlePacket(); };
    receiver.transferHandlers[TRANSFER_INDEX] = [this] { indexTransfer.IndexPacket(); };
    receiver.transferHandlers[TRANSFER_DOWNLOAD] = [this] { pictureDownload.DownloadPacket(); };
    receiver.transferHandlers[TRANSFER_LIVE_VIEW] = [this] { liveHandlers.LiveViewPacket(); };
    receiver.transferHandlers[TRANSFER_LIVE_PHOTO] = [this] { liveHandlers.LivePhotoPacket(); };
    receiver.transferHandlers[TRANSFER_UPLOAD] = [this] { pictureUpload.HandleAnswer(); };
    linkHandOver.activatePreviewIfLiveActive = [this] { ActivatePreviewIfLiveActive(); };
    linkHandOver.closeOtherWindows = [this] { CloseOpenfileWindowsForReconnect(); };
    linkHandOver.resetOtherTransfers = [this] { ResetLiveAndUploadForReconnect(); };
}

void Program::ActivatePreviewIfLiveActive() {
    if (liveWindow.Active()) {
        ports.shell.ActivateChildWindow(PREVIEW_WINDOW);
    }
}

void Program::CloseOpenfileWindowsForReconnect() {
    std::vector<WindowId> ids;
    for (const auto& openfile : openfileWindows) {
        ids.push_back(openfile->id());
    }
    for (const WindowId id : ids) {
        if (PictureWindow* openfile = FindOpenfileWindow(id)) {
            openfile->Close();  // "Save changes to %s?"; the window goes whatever the answer
        }
        ports.timers.KillTimer(id, UPLOAD_TIMER_WATCHDOG);
        ports.timers.KillTimer(id, UPLOAD_TIMER_SECOND);
        DestroyOpenfileWindow(id);
        ports.shell.DestroyChildWindow(id);
    }
}

void Program::ResetLiveAndUploadForReconnect() {
    live.LivePacketNumber = 0;
    live.LiveViewRunning = 0;
    live.LivePhotoRunning = 0;
    live.LiveFramePending = 0;
    live.PreviewButtonBitmap = BITMAP_PREVIEW_OFF;
    live.PhotoButtonBitmap = BITMAP_CAPTURE;
    upload.UploadPacketNumber = 0;
    upload.SendOffset = 0;
    upload.SendingThumb = 0;
    upload.TotalPackets = 0;
}

PicturePorts Program::MakePicturePorts() {
    return PicturePorts{link,
                        ports.line,
                        ports.timers,
                        ports.shell,
                        ports.memory,
                        display.TrueColourDisplay,
                        display.ScreenPalette,
                        display.ImagePalette,
                        display.DisplayPalette,
                        buffers.TransferBuffer,
                        buffers.ThumbnailBuffer,
                        scratch.ScratchFileA,
                        scratch.ScratchFileB,
                        [this] { return MakeSaveContext(); },
                        [this] { linkSetup.OpenDisconnectDialog(); },
                        [this] { linkSetup.StartResetup(); }};
}

SaveContext Program::MakeSaveContext() {
    return SaveContext{ports.shell,
                       ports.clock,
                       ports.freeSpace,
                       ports.memory,
                       saveJpeg,
                       saveState,
                       scratch.ScratchFileA,
                       scratch.ScratchFileB,
                       environment.tempDirectory,
                       settings.OpenInitialDir};
}

void Program::TimerFired(WindowId window, int id) {
    if (window == FRAME_WINDOW) {
        linkSetup.FrameTimer(id);
        return;
    }
    if (window == LIVE_IMAGE_WINDOW) {
        liveWindow.Timer(id);
        return;
    }
    if (FindOpenfileWindow(window) != nullptr) {
        pictureUpload.Timer(window, id);  // the upload's watchdog
        return;
    }
    if (window == PREVIEW_WINDOW) {
        previewWindow.Timer(id);
        return;
    }
    pictureDownload.CaptureTimerFired(window, id);
}

void Program::PaintWindow(WindowId window) {
    if (window == LIVE_IMAGE_WINDOW) {
        liveWindow.Paint();
    }
}

LiveWindowPorts Program::MakeLiveWindowPorts() {
    return LiveWindowPorts{link,
                           ports.line,
                           ports.timers,
                           ports.shell,
                           buffers.LivePreviewImage,
                           buffers.LivePhotoImage,
                           buffers.WorkImage,
                           [this] { return indexTransfer.index.IndexLoaded; },
                           [this] { return frame.ExitConfirmed(); },
                           [this](const std::string& title, bool modified) {
                               return CreateOpenfileWindow(title, modified) != nullptr;
                           },
                           [this] { ports.shell.ActivateChildWindow(PREVIEW_WINDOW); },
                           [this] { linkSetup.OpenDisconnectDialog(); },
                           [this] { return MakeSaveContext(); }};
}

PictureWindow* Program::CreateOpenfileWindow(const std::string& title, bool modified) {
    auto block = ports.memory.AllocateZeroed(OPENFILE_PICTURE_SIZE);
    const bool paletteBlock =
        display.TrueColourDisplay || ports.memory.AllocateZeroed(LOG_PALETTE_BLOCK_SIZE);
    if (!block || !paletteBlock || !buffers.WorkImage) {
        ReportNoMemory(ports.shell);
        return nullptr;
    }
    ports.shell.EnableMdiClient(true);
    PictureCreateData data;
    data.widthLess4 = OPENFILE_PICTURE_WIDTH - 4;
    data.heightLess2 = OPENFILE_PICTURE_HEIGHT - 2;
    data.pixels = DibBlock(std::move(*block));
    std::copy_n(buffers.WorkImage->data(),
                std::min(buffers.WorkImage->size(), OPENFILE_PICTURE_SIZE), data.pixels.data());
    data.title = title;
    data.modified = modified;
    const WindowId id = nextWindowId_++;
    openfileWindows.push_back(std::make_unique<PictureWindow>(
        id, OPENFILE_KIND, std::move(data),
        PictureWindowPorts{ports.shell, openfileHost, display.ScreenPalette, &openView}));
    PictureWindow& created = *openfileWindows.back();
    if (!display.TrueColourDisplay) {
        created.palette() = LogPalette{};
        RebuildOpenfilePalette(created);
    }
    activeChild = id;
    ports.shell.CreateChildWindow(ChildWindowRequest{id, ChildKind::Openfile, title, CW_USEDEFAULT,
                                                     CW_USEDEFAULT, OPENFILE_WINDOW_WIDTH,
                                                     OPENFILE_WINDOW_HEIGHT});
    // The client area of a new window shows the whole picture: it sets the view size.
    created.Create(OPENFILE_WINDOW_WIDTH - CAPTURE_FRAME_EXTRA_WIDTH,
                   OPENFILE_WINDOW_HEIGHT - CAPTURE_FRAME_EXTRA_HEIGHT, 0, 0);
    return &created;
}

PictureWindow* Program::FindOpenfileWindow(WindowId window) {
    for (const auto& openfile : openfileWindows) {
        if (openfile->id() == window) {
            return openfile.get();
        }
    }
    return nullptr;
}

Program::~Program() {
    RemoveScratchFiles();
}

void Program::Startup() {
    display.RunningOnNt = true;

    display.TrueColourDisplay = environment.trueColourDisplay;
    if (!display.TrueColourDisplay) {
        if (ports.memory.AllocateZeroed(LOG_PALETTE_BLOCK_SIZE)) {
            display.ImagePalette = MakeFixedScreenPalette();
            display.ScreenPalette = display.ImagePalette;
        } else {
            ReportNoMemory(ports.shell);
        }
        if (ports.memory.AllocateZeroed(LOG_PALETTE_BLOCK_SIZE)) {
            display.DisplayPalette = display.ImagePalette;
        } else {
            ReportNoMemory(ports.shell);
        }
    }

    settings.SettingsPath = ChooseSettingsPath(environment);

    link = LinkState{};

    StartDirectory = environment.startDirectory;

    const std::filesystem::path scratchFolder =
        FolderIsWritable(StartDirectory) ? StartDirectory : environment.tempDirectory;
    scratch.ScratchFileA = CreateScratchFile(scratchFolder);
    scratch.ScratchFileB = CreateScratchFile(scratchFolder);

    AllocateBuffers();
    ReadSettings();

    previewWindow.Create();

    link.SelectedPort = PORT_COM1;
    ports.timers.StartTimer(FRAME_WINDOW, FRAME_TIMER_OPEN_PORT, OPEN_PORT_DELAY_MS);
}

void Program::AllocateBuffers() {
    auto allocate = [this](std::size_t size) {
        auto block = ports.memory.AllocateZeroed(size);
        if (!block) {
            ReportNoMemory(ports.shell);
        }
        return block;
    };
    // A live picture starts as a mid-grey 24-bit bitmap of its size.
    auto livePicture = [&allocate](std::size_t size, std::int32_t width, std::int32_t height) {
        std::optional<DibBlock> picture;
        if (auto block = allocate(size)) {
            picture = DibBlock(std::move(*block));
            std::uint8_t* p = picture->data();
            WriteLe32(p, INFO_HEADER_SIZE);
            WriteLe32(p + 4, static_cast<std::uint32_t>(width));
            WriteLe32(p + 8, static_cast<std::uint32_t>(height));
            WriteLe16(p + 12, 1);
            WriteLe16(p + 14, 24);
            const std::size_t pixelBytes = static_cast<std::size_t>(width) * height * 3;
            std::fill_n(p + INFO_HEADER_SIZE, pixelBytes, MID_GREY);
        }
        return picture;
    };

    buffers.TransferBuffer = allocate(TRANSFER_BUFFER_SIZE);
    buffers.ThumbnailBuffer = allocate(THUMBNAIL_BUFFER_SIZE);
    if (auto block = allocate(WORK_IMAGE_SIZE)) {
        buffers.WorkImage = DibBlock(std::move(*block));
    }
    buffers.LivePreviewImage =
        livePicture(LIVE_PREVIEW_IMAGE_SIZE, LIVE_PREVIEW_WIDTH, LIVE_PREVIEW_HEIGHT);
    buffers.LivePhotoImage =
        livePicture(LIVE_PHOTO_IMAGE_SIZE, LIVE_PHOTO_WIDTH, LIVE_PHOTO_HEIGHT);
}

void Program::ReadSettings() {
    settings.OpenInitialDir = StartDirectory.string();
    const IniFile file = IniFile::Load(settings.SettingsPath);
    const std::string preview =
        file.GetString(SETTINGS_SECTION, SETTINGS_KEY_FILEPREV, "0", FILEPREV_MAX_CHARS);
    settings.FilePreviewEnabled = preview.empty() || preview.front() != '0';
    settings.OpenInitialDir = file.GetString(SETTINGS_SECTION, SETTINGS_KEY_FILEINITPATH,
                                             settings.OpenInitialDir, FILEINITPATH_MAX_CHARS);
    settings.RememberedPorts = ReadRememberedPorts(settings.SettingsPath);
    settings.framePlacement = ReadFramePlacement(file);
}

void Program::WriteSettings() {
    IniFile file = IniFile::Load(settings.SettingsPath);
    file.SetString(SETTINGS_SECTION, SETTINGS_KEY_FILEPREV,
                   settings.FilePreviewEnabled ? "1" : "0");
    // A name with a line break cannot be kept in a line of the file: the value the file holds
    // stays.
    auto fitsALine = [](const std::string& text) {
        return text.find_first_of("\r\n") == std::string::npos;
    };
    if (fitsALine(settings.OpenInitialDir)) {
        file.SetString(SETTINGS_SECTION, SETTINGS_KEY_FILEINITPATH, settings.OpenInitialDir);
    }
    const std::vector<std::string> remembered =
        RememberAnsweredPort(settings.RememberedPorts, settings.AnsweredPort);
    if (remembered != settings.RememberedPorts &&
        std::all_of(remembered.begin(), remembered.end(), fitsALine)) {
        for (std::size_t i = 0; i < REMEMBERED_PORT_KEYS.size(); ++i) {
            file.SetString(SETTINGS_PORTS_SECTION, REMEMBERED_PORT_KEYS[i],
                           i < remembered.size() ? remembered[i] : std::string());
        }
    }
    if (settings.framePlacement) {
        WriteFramePlacement(file, *settings.framePlacement);
    }
    std::error_code ignored;
    std::filesystem::create_directories(settings.SettingsPath.parent_path(), ignored);
    // A settings file that cannot be written is not worth a message at exit.
    file.Save(settings.SettingsPath);
}

void Program::RemoveScratchFiles() {
    std::error_code ignored;
    for (auto* path : {&scratch.ScratchFileA, &scratch.ScratchFileB}) {
        if (!path->empty()) {
            std::filesystem::remove(*path, ignored);
            path->clear();
        }
    }
}

void Program::Shutdown() {
    if (shutDown_) {
        return;
    }
    shutDown_ = true;

    if (ports.line.IsOpen()) {
        const std::uint8_t reset = RESET_LINK;
        ports.line.Write({&reset, 1});
    }

    buffers = LongLivedBuffers{};
    openDialog.PreviewPicture.reset();

    display.ScreenPalette.reset();
    display.ImagePalette.reset();
    display.DisplayPalette.reset();

    WriteSettings();

    ports.line.Close();

    RemoveScratchFiles();
}

}  // namespace fotolyx
