#include <cctype>
#include <charconv>
#include <iostream>
#include <optional>

#include "adjust/adjust_dialog.h"
#include "cli/cli.h"
#include "cli/picture_session.h"
#include "ports/messages.h"
#include "ports/shell.h"

namespace fotolyx::cli {

namespace {

constexpr char ADJUST_USAGE[] =
    "usage: fotolyx-cli adjust IN OUT [--auto | --brightness B --contrast C --saturation S "
    "--sharpness H]\n";

// The options that move a scroll bar of the adjustment dialog, with the bar's range.
struct SettingOption {
    const char* name;
    int scrollBarId;
    int minimum;
    int maximum;
};

constexpr SettingOption SETTING_OPTIONS[] = {
    {"--brightness", IDC_ADJUST_FIRST_SCROLL, -100, 100},
    {"--contrast", IDC_ADJUST_FIRST_SCROLL + 1, -100, 100},
    {"--saturation", IDC_ADJUST_FIRST_SCROLL + 2, -100, 100},
    {"--sharpness", IDC_ADJUST_FIRST_SCROLL + 3, 0, 100},
};

struct OutputType {
    const char* extension;
    int filterIndex;
};

// The save type follows OUT's extension, as for convert.
constexpr OutputType OUTPUT_TYPES[] = {
    {".jpg", SAVE_FILTER_JPEG},
    {".jpeg", SAVE_FILTER_JPEG},
    {".bmp", SAVE_FILTER_FULL_COLOUR_BMP},
};

std::optional<int> OutputFilter(const std::filesystem::path& path) {
    std::string extension = path.extension().string();
    for (auto& c : extension) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    for (const auto& type : OUTPUT_TYPES) {
        if (extension == type.extension) {
            return type.filterIndex;
        }
    }
    return std::nullopt;
}

std::optional<int> ParseWhole(const std::string& text) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [rest, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || rest != end || text.empty()) {
        return std::nullopt;
    }
    return value;
}

struct AdjustRequest {
    std::vector<std::string> files;
    bool automatic = false;
    // Thumb positions per scroll bar, in the order given.
    std::vector<std::pair<int, int>> moves;
};

// Reads the arguments; a message and nothing when they are wrong.
std::optional<AdjustRequest> ParseArguments(const Arguments& arguments) {
    AdjustRequest request;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--auto") {
            request.automatic = true;
            continue;
        }
        if (argument.empty() || argument[0] != '-' || argument == "-") {
            request.files.push_back(argument);
            continue;
        }
        const SettingOption* option = nullptr;
        for (const auto& candidate : SETTING_OPTIONS) {
            if (argument == candidate.name) {
                option = &candidate;
            }
        }
        if (option == nullptr) {
            std::cerr << "fotolyx-cli adjust: unknown option '" << argument << "'\n";
            return std::nullopt;
        }
        const auto value = i + 1 < arguments.size() ? ParseWhole(arguments[++i]) : std::nullopt;
        if (!value || *value < option->minimum || *value > option->maximum) {
            std::cerr << "fotolyx-cli adjust: " << option->name << " takes a whole number from "
                      << option->minimum << " to " << option->maximum << '\n';
            return std::nullopt;
        }
        request.moves.emplace_back(option->scrollBarId, *value);
    }
    if (request.automatic && !request.moves.empty()) {
        std::cerr << "fotolyx-cli adjust: --auto takes no settings\n";
        return std::nullopt;
    }
    if (request.files.size() != 2) {
        return std::nullopt;
    }
    return request;
}

}  // namespace

// Opens IN as the Open command does, adjusts it as the Image Adjustment dialog does on OK
// and saves it through the Openfile window's Save As.
int RunAdjust(Context& context, const Arguments& arguments) {
    const auto request = ParseArguments(arguments);
    if (!request) {
        std::cerr << ADJUST_USAGE;
        return 2;
    }
    const auto filter = OutputFilter(request->files[1]);
    if (!filter) {
        std::cerr << "fotolyx-cli adjust: cannot tell the type of '" << request->files[1]
                  << "' from its name (.jpg, .jpeg or .bmp)\n";
        return 2;
    }
    PictureSession session(context);
    if (!session.Open(request->files[0])) {
        return 1;
    }
    DibBlock* picture = session.workImage();
    AdjustDialog dialog(context.memory);
    dialog.Open(picture);
    if (!dialog.HasPicture()) {
        context.shell.MessageBox(TEXT_NOT_ENOUGH_MEMORY, CAPTION_GLOBAL_MEMORY,
                                 MB_OK | MB_ICONEXCLAMATION);
        return 1;
    }
    if (request->automatic) {
        dialog.Command(IDC_ADJUST_AUTOMATIC);
    }
    for (const auto& [scrollBarId, value] : request->moves) {
        // The dialog receives a thumb position as a 16-bit word.
        dialog.HScroll(scrollBarId, SB_THUMBPOSITION, value & 0xFFFF);
    }
    dialog.Command(IDOK);
    return session.SaveAs(std::filesystem::absolute(request->files[1]), *filter) ? 0 : 1;
}

}  // namespace fotolyx::cli
