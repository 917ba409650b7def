#include <iostream>
#include <optional>

#include "cli/cli.h"
#include "cli/picture_session.h"

namespace fotolyx::cli {

namespace {

constexpr char CONVERT_USAGE[] = "usage: fotolyx-cli convert IN OUT [--type jpeg|bmp|bmp8]\n";

struct SaveType {
    const char* name;
    const char* extension;  // the extension that selects it when --type is not given
    int filterIndex;
};

constexpr SaveType SAVE_TYPES[] = {
    {"jpeg", ".jpg", SAVE_FILTER_JPEG},
    {"jpeg", ".jpeg", SAVE_FILTER_JPEG},
    {"bmp", ".bmp", SAVE_FILTER_FULL_COLOUR_BMP},
    {"bmp8", nullptr, SAVE_FILTER_256_COLOUR_BMP},
};

std::optional<int> FilterByName(const std::string& name) {
    for (const auto& type : SAVE_TYPES) {
        if (name == type.name) {
            return type.filterIndex;
        }
    }
    return std::nullopt;
}

std::optional<int> FilterByExtension(const std::filesystem::path& path) {
    std::string extension = path.extension().string();
    for (auto& c : extension) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    for (const auto& type : SAVE_TYPES) {
        if (type.extension != nullptr && extension == type.extension) {
            return type.filterIndex;
        }
    }
    return std::nullopt;
}

}  // namespace

// Opens IN as the Open command does and saves it through an Openfile window's Save As.
int RunConvert(Context& context, const Arguments& arguments) {
    std::vector<std::string> files;
    std::optional<int> filter;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        std::string typeName;
        if (argument == "--type" && i + 1 < arguments.size()) {
            typeName = arguments[++i];
        } else if (argument.rfind("--type=", 0) == 0) {
            typeName = argument.substr(7);
        } else if (!argument.empty() && argument[0] == '-' && argument != "-") {
            std::cerr << "fotolyx-cli convert: unknown option '" << argument << "'\n"
                      << CONVERT_USAGE;
            return 2;
        } else {
            files.push_back(argument);
            continue;
        }
        filter = FilterByName(typeName);
        if (!filter) {
            std::cerr << "fotolyx-cli convert: unknown type '" << typeName << "'\n"
                      << CONVERT_USAGE;
            return 2;
        }
    }
    if (files.size() != 2) {
        std::cerr << CONVERT_USAGE;
        return 2;
    }
    if (!filter) {
        filter = FilterByExtension(files[1]);
    }
    if (!filter) {
        std::cerr << "fotolyx-cli convert: cannot tell the type of '" << files[1]
                  << "' from its name; give --type\n";
        return 2;
    }
    PictureSession session(context);
    if (!session.Open(files[0])) {
        return 1;
    }
    return session.SaveAs(std::filesystem::absolute(files[1]), *filter) ? 0 : 1;
}

}  // namespace fotolyx::cli
