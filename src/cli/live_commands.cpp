#include <algorithm>
#include <cctype>
#include <charconv>
#include <iostream>

#include "cli/camera_session.h"
#include "imaging/bmp_file.h"
#include "imaging/save_pipeline.h"

namespace fotolyx::cli {

namespace {

constexpr int MAX_FRAMES = 100'000;
constexpr auto FRAME_LIMIT = std::chrono::seconds(10);
constexpr auto PHOTO_LIMIT = std::chrono::seconds(180);

std::optional<int> ParseCount(const std::string& text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 1 ||
        value > MAX_FRAMES) {
        return std::nullopt;
    }
    return value;
}

std::optional<int> SaveFilterFor(const std::string& type, const std::filesystem::path& out) {
    if (type == "jpeg") {
        return SAVE_FILTER_JPEG;
    }
    if (type == "bmp") {
        return SAVE_FILTER_FULL_COLOUR_BMP;
    }
    if (type == "bmp8") {
        return SAVE_FILTER_256_COLOUR_BMP;
    }
    if (!type.empty()) {
        return std::nullopt;
    }
    std::string extension = out.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".bmp" ? SAVE_FILTER_FULL_COLOUR_BMP : SAVE_FILTER_JPEG;
}

int Usage(const char* command, const char* usage) {
    std::cerr << "fotolyx-cli " << command << ": usage: fotolyx-cli " << usage << '\n';
    return 2;
}

// A click on one of the Live image window's buttons: pressed, then released.
void Click(LiveImageWindow& window, int button) {
    window.ButtonNotify(button, true);
    window.ButtonNotify(button, false);
}

}  // namespace

// Live view for K frames, then the small picture as a 24-bit BMP file.
int RunLive(Context& context, const Arguments& arguments) {
    constexpr const char* usage = "live [--frames K] --out FILE.bmp [--port COMn=PATH]...";
    PortMap map;
    Arguments rest;
    if (!ParsePortOptions("live", arguments, map, rest)) {
        return 2;
    }
    int frames = 1;
    std::filesystem::path out;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == "--frames" && i + 1 < rest.size()) {
            const auto count = ParseCount(rest[++i]);
            if (!count) {
                return Usage("live", usage);
            }
            frames = *count;
        } else if (rest[i] == "--out" && i + 1 < rest.size()) {
            out = rest[++i];
        } else {
            return Usage("live", usage);
        }
    }
    if (out.empty()) {
        return Usage("live", usage);
    }

    CameraSession session(context, std::move(map));
    if (!session.LoadIndex()) {
        return session.FailureStatus();
    }
    Program& program = session.program();
    const std::uint32_t before = program.live.framesCompleted;
    Click(program.liveWindow, LIVE_BUTTON_PREVIEW);
    const bool received = session.RunUntil(
        [&] { return program.live.framesCompleted - before >= static_cast<std::uint32_t>(frames); },
        FRAME_LIMIT * frames);
    // The last frame is in and the next not yet asked for: the click stops the live view.
    Click(program.liveWindow, LIVE_BUTTON_PREVIEW);
    if (!received) {
        return 1;
    }
    if (!program.buffers.LivePreviewImage ||
        !WritePictureBmp(out, *program.buffers.LivePreviewImage, true)) {
        std::cerr << "fotolyx-cli live: cannot write " << out.string() << '\n';
        return 1;
    }
    return 0;
}

// A large live photo, saved as the Live image window's Save As saves it.
int RunPhoto(Context& context, const Arguments& arguments) {
    constexpr const char* usage = "photo --out FILE [--type jpeg|bmp|bmp8] [--port COMn=PATH]...";
    PortMap map;
    Arguments rest;
    if (!ParsePortOptions("photo", arguments, map, rest)) {
        return 2;
    }
    std::filesystem::path out;
    std::string type;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == "--out" && i + 1 < rest.size()) {
            out = rest[++i];
        } else if (rest[i] == "--type" && i + 1 < rest.size()) {
            type = rest[++i];
        } else {
            return Usage("photo", usage);
        }
    }
    const auto filter = SaveFilterFor(type, out);
    if (out.empty() || !filter) {
        return Usage("photo", usage);
    }

    CameraSession session(context, std::move(map));
    if (!session.LoadIndex()) {
        return session.FailureStatus();
    }
    Program& program = session.program();
    const std::uint32_t before = program.live.photosCompleted;
    Click(program.liveWindow, LIVE_BUTTON_PHOTO);
    if (!session.RunUntil([&] { return program.live.photosCompleted > before; }, PHOTO_LIMIT)) {
        Click(program.liveWindow, LIVE_BUTTON_PHOTO);  // Cancel
        return 1;
    }
    const SaveDialogResult answer{out.string(), *filter};
    session.shell.saveAnswer = [answer](const SaveDialogRequest&) { return answer; };
    program.liveWindow.Command(CMD_SAVE_AS);
    if (!program.liveWindow.lastSave.written) {
        std::cerr << "fotolyx-cli photo: " << out.string() << " was not written\n";
        return EXIT_FAILED;
    }
    return session.shell.failed ? EXIT_FAILED : EXIT_DONE;
}

}  // namespace fotolyx::cli
