#include "camsim/options.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <fstream>

#include "camsim/picture_maker.h"

namespace fotolyx::camsim {

const char USAGE[] =
    "Usage: fotolyx-camsim [OPTIONS]\n"
    "Serves a simulated camera on a pseudo-terminal; prints its path on the first line.\n"
    "  --model CODE           model code of the identification (default 462)\n"
    "  --speeds LIST          speeds it manages, e.g. 115200,57600,19200 (default all three)\n"
    "  --mode MODE            photo, vcr or nocard (default photo)\n"
    "  --pictures N           N generated pictures on the card (default 3)\n"
    "  --picture-folder DIR   the JPEG files of DIR as the card's pictures\n"
    "  --capacity FINE,NORMAL remaining capacities (default 20,40)\n"
    "  --ready-delay MS       READY this long after a speed request (default 100)\n"
    "  --fall-back-after MS   back to 9600 after MS without a byte from the PC\n"
    "  --jitter US            each byte leaves up to US microseconds late (default 0)\n"
    "  --latency MS           the PC adapter hands bytes over every MS (16, 1; default 0)\n"
    "  --line-seed N          seed of the jitter (default 1)\n"
    "  --silent-after N       answer nothing after N messages, until RESET_LINK\n"
    "  --garble N             the first byte of message N arrives garbled\n"
    "  --drop-byte N          message N loses its last byte\n"
    "  --wrong-sequence N     data packet N carries a wrong sequence number\n"
    "  --nak N                answer the first N upload packets with NAK\n"
    "  --bad-trailer N        the first N status packets carry byte 114 wrong\n"
    "  --hang-up-after N      pull the cable after N messages\n"
    "  --stats                print the measured turnaround on exit (stderr)\n"
    "  --replay FILE          answer as the camera did in a line trace (fotolyx --log FILE);\n"
    "                         the other options do not apply\n"
    "  --version              print the version and stop\n"
    "SIGUSR1 presses the camera's photo button; SIGINT or SIGTERM ends it.\n";

namespace {

constexpr std::uintmax_t MAX_PICTURE_BYTES = 925'696;
constexpr std::uint32_t MAX_DELAY_MS = 60'000;
constexpr std::uint32_t MAX_JITTER_US = 1'000'000;
constexpr Micros US_PER_MS = 1000;

bool ParseNumber(const std::string& text, std::uint32_t& value) {
    const auto* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    return result.ec == std::errc{} && result.ptr == end;
}

bool ParseList(const std::string& text, std::vector<std::uint32_t>& values) {
    values.clear();
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = text.find(',', start);
        std::uint32_t value = 0;
        if (!ParseNumber(text.substr(start, comma - start), value)) {
            return false;
        }
        values.push_back(value);
        if (comma == std::string::npos) {
            break;
        }
        start = comma + 1;
    }
    return true;
}

bool LoadFolder(const std::string& folder, std::vector<SimPicture>& pictures, std::string& error) {
    std::error_code code;
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder, code)) {
        auto extension = entry.path().extension().string();
        for (auto& c : extension) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        if (entry.is_regular_file() && (extension == ".jpg" || extension == ".jpeg")) {
            files.push_back(entry.path());
        }
    }
    if (code) {
        error = "cannot read the folder " + folder;
        return false;
    }
    std::sort(files.begin(), files.end());
    int seed = 0;
    for (const auto& file : files) {
        std::error_code sizeError;
        const auto size = std::filesystem::file_size(file, sizeError);
        if (sizeError || size > MAX_PICTURE_BYTES) {
            continue;  // larger than any picture the camera holds
        }
        SimPicture picture;
        picture.jpeg.resize(static_cast<std::size_t>(size));
        std::ifstream in(file, std::ios::binary);
        in.read(reinterpret_cast<char*>(picture.jpeg.data()),
                static_cast<std::streamsize>(picture.jpeg.size()));
        if (!in || !ReadJpegSize(picture.jpeg, picture.width, picture.height)) {
            continue;  // not a JPEG the camera could hold
        }
        picture.date = UploadDate{2002, 5, 17, 14, 5};
        picture.thumbnail = MakeSceneJpeg(80, 60, seed++, 75);
        pictures.push_back(std::move(picture));
    }
    return true;
}

}  // namespace

bool ParseOptions(const std::vector<std::string>& arguments, ServerOptions& options,
                  std::string& error) {
    CameraConfig& camera = options.camera;
    std::uint32_t pictureCount = 3;
    std::string folder;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        if (option == "--stats") {
            options.stats = true;
            continue;
        }
        if (option == "--replay" && i + 1 < arguments.size()) {
            options.replayFile = arguments[++i];
            continue;
        }
        if (i + 1 >= arguments.size()) {
            error = "unknown option or missing value: " + option;
            return false;
        }
        const std::string& value = arguments[++i];
        std::uint32_t number = 0;
        const bool isNumber = ParseNumber(value, number);
        bool ok = true;
        if (option == "--model") {
            camera.modelCode = value;
        } else if (option == "--speeds") {
            ok = ParseList(value, camera.speeds);
        } else if (option == "--mode") {
            ok = value == "photo" || value == "vcr" || value == "nocard";
            camera.mode = value == "vcr"      ? CameraMode::Vcr
                          : value == "nocard" ? CameraMode::NoCard
                                              : CameraMode::Photo;
        } else if (option == "--pictures") {
            ok = isNumber && number <= 800;
            pictureCount = number;
        } else if (option == "--picture-folder") {
            folder = value;
        } else if (option == "--capacity") {
            std::vector<std::uint32_t> capacities;
            ok = ParseList(value, capacities) && capacities.size() == 2 &&
                 capacities[0] <= 0xFFFF && capacities[1] <= 0xFFFF;
            if (ok) {
                camera.fineCapacity = static_cast<std::uint16_t>(capacities[0]);
                camera.normalCapacity = static_cast<std::uint16_t>(capacities[1]);
            }
        } else if (option == "--ready-delay") {
            ok = isNumber && number <= MAX_DELAY_MS;
            camera.speedAnswerDelay = number * US_PER_MS;
        } else if (option == "--fall-back-after") {
            ok = isNumber && number > 0 && number <= MAX_DELAY_MS;
            camera.fallBackAfterSilence = number * US_PER_MS;
        } else if (option == "--jitter") {
            ok = isNumber && number <= MAX_JITTER_US;
            options.line.jitter = number;
        } else if (option == "--latency") {
            ok = isNumber && number <= MAX_DELAY_MS;
            options.line.adapterLatency = number * US_PER_MS;
        } else if (option == "--line-seed") {
            ok = isNumber;
            options.line.seed = number;
        } else if (option == "--silent-after") {
            ok = isNumber;
            camera.faults.silentAfterMessages = number;
        } else if (option == "--garble") {
            ok = isNumber;
            camera.faults.garbleMessage = number;
        } else if (option == "--drop-byte") {
            ok = isNumber;
            camera.faults.dropByteMessage = number;
        } else if (option == "--wrong-sequence") {
            ok = isNumber;
            camera.faults.wrongSequenceMessage = number;
        } else if (option == "--nak") {
            ok = isNumber;
            camera.faults.nakAnswers = number;
        } else if (option == "--bad-trailer") {
            ok = isNumber;
            camera.faults.badTrailerStatus = number;
        } else if (option == "--hang-up-after") {
            ok = isNumber;
            camera.faults.hangUpAfterMessages = number;
        } else {
            error = "unknown option: " + option;
            return false;
        }
        if (!ok) {
            error = "bad value for " + option + ": " + value;
            return false;
        }
    }
    if (!folder.empty()) {
        return LoadFolder(folder, camera.pictures, error);
    }
    camera.pictures = MakeSamplePictures(static_cast<int>(pictureCount));
    return true;
}

}  // namespace fotolyx::camsim
