// fotolyx-cli list, get and rm: the Preview's commands on the camera's pictures.
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>

#include "cli/camera_files.h"
#include "cli/camera_session.h"
#include "imaging/atomic_file.h"
#include "imaging/jpeg_structure.h"
#include "imaging/save_pipeline.h"

namespace fotolyx::cli {

namespace {

constexpr auto TRANSFER_LIMIT = std::chrono::minutes(60);
constexpr auto DELETE_LIMIT = std::chrono::minutes(5);

std::optional<unsigned> ParseNumber(const std::string& text) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value == 0) {
        return std::nullopt;
    }
    return value;
}

// Picture numbers as the list shows them (position + 1), checked against the index.
bool ToPositions(const char* command, const std::vector<unsigned>& numbers, const Program& pictures,
                 std::vector<unsigned>& positions) {
    for (unsigned number : numbers) {
        if (number > pictures.indexTransfer.index.receivedCount) {
            std::cerr << "fotolyx-cli " << command << ": there is no picture " << number
                      << " (the camera has " << pictures.indexTransfer.index.receivedCount << ")\n";
            return false;
        }
        positions.push_back(number - 1);
    }
    return true;
}

void PrintTotal(const Program& pictures) {
    std::cout << "Total: " << pictures.indexTransfer.index.reportedCount << '\n';
}

struct FileType {
    const char* name;
    int filter;
    const char* extension;
};
constexpr FileType FILE_TYPES[] = {
    {"jpeg", SAVE_FILTER_JPEG, ".jpg"},
    {"bmp", SAVE_FILTER_FULL_COLOUR_BMP, ".bmp"},
    {"bmp8", SAVE_FILTER_256_COLOUR_BMP, ".bmp"},
};

// The record of what `get` saved in a folder: one line per file, "FINGERPRINT<TAB>NAME".
constexpr char SAVED_RECORD[] = ".fotolyx-get";

// What belongs to a camera picture whatever its position: its attribute, size, date and time,
// quality letter and thumbnail. Default names carry the position, which a deletion changes.
std::string PictureFingerprint(const Program& pictures, unsigned position) {
    const PictureEntry& entry = pictures.indexTransfer.index.entries[position];
    std::uint64_t hash = 14'695'981'039'346'656'037ULL;  // FNV-1a
    const auto mix = [&hash](std::uint8_t byte) {
        hash ^= byte;
        hash *= 1'099'511'628'211ULL;
    };
    mix(entry.attribute);
    for (const std::uint16_t value : {entry.width, entry.height}) {
        mix(static_cast<std::uint8_t>(value & 0xFF));
        mix(static_cast<std::uint8_t>(value >> 8));
    }
    const std::string& text = entry.listText;
    for (std::size_t i = std::min(LIST_NUMBER_CHARS, text.size()); i < text.size(); ++i) {
        mix(static_cast<std::uint8_t>(text[i]));
    }
    for (const std::uint8_t byte : pictures.previewWindow.Thumbnail(position)) {
        mix(byte);
    }
    char hex[17] = {};
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
    return hex;
}

std::map<std::string, std::string> ReadSavedRecord(const std::filesystem::path& folder) {
    std::map<std::string, std::string> record;
    std::ifstream in(folder / SAVED_RECORD);
    for (std::string line; std::getline(in, line);) {
        const auto tab = line.find('\t');
        if (tab != std::string::npos) {
            record[line.substr(tab + 1)] = line.substr(0, tab);
        }
    }
    return record;
}

bool WriteSavedRecord(const std::filesystem::path& folder,
                      const std::map<std::string, std::string>& record) {
    AtomicFile out(folder / SAVED_RECORD);
    if (!out.IsOpen()) {
        return false;
    }
    for (const auto& [name, fingerprint] : record) {
        const std::string line = fingerprint + '\t' + name + '\n';
        if (!out.Write({reinterpret_cast<const std::uint8_t*>(line.data()), line.size()})) {
            return false;
        }
    }
    return out.Commit();
}

}  // namespace

int RunList(Context& context, const Arguments& arguments) {
    PortMap map;
    Arguments rest;
    if (!ParsePortOptions("list", arguments, map, rest)) {
        return 2;
    }
    if (!rest.empty()) {
        std::cerr << "fotolyx-cli list: bad argument '" << rest.front() << "'\n";
        return 2;
    }
    CameraSession session(context, map);
    if (!session.LoadIndex()) {
        return session.FailureStatus();
    }
    const auto& index = session.program().indexTransfer.index;
    for (unsigned p = 0; p < index.receivedCount; ++p) {
        const PictureEntry& entry = index.entries[p];
        std::cout << entry.listText << '\t' << entry.width << 'x' << entry.height << '\t'
                  << entry.fileName << '\n';
    }
    PrintTotal(session.program());
    return 0;
}

int RunGet(Context& context, const Arguments& arguments) {
    PortMap map;
    Arguments rest;
    if (!ParsePortOptions("get", arguments, map, rest)) {
        return 2;
    }
    std::filesystem::path folder = ".";
    const FileType* type = &FILE_TYPES[0];
    bool all = false;
    bool overwrite = false;
    bool skipExisting = false;
    bool original = false;
    bool typeGiven = false;
    std::optional<std::string> pattern;
    std::vector<unsigned> numbers;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        const std::string& argument = rest[i];
        if (argument == "--dir" && i + 1 < rest.size()) {
            folder = rest[++i];
        } else if (argument == "--original") {
            original = true;
        } else if (argument == "--filename" && i + 1 < rest.size()) {
            pattern = rest[++i];
        } else if (argument == "--type" && i + 1 < rest.size()) {
            typeGiven = true;
            const std::string name = rest[++i];
            const auto found = std::find_if(std::begin(FILE_TYPES), std::end(FILE_TYPES),
                                            [&](const FileType& t) { return name == t.name; });
            if (found == std::end(FILE_TYPES)) {
                std::cerr << "fotolyx-cli get: unknown type '" << name << "' (jpeg, bmp or bmp8)\n";
                return 2;
            }
            type = found;
        } else if (argument == "--all") {
            all = true;
        } else if (argument == "--overwrite") {
            overwrite = true;
        } else if (argument == "--skip-existing") {
            skipExisting = true;
        } else if (const auto number = ParseNumber(argument)) {
            numbers.push_back(*number);
        } else {
            std::cerr << "fotolyx-cli get: bad argument '" << argument << "'\n";
            return 2;
        }
    }
    if (all == !numbers.empty() || (overwrite && skipExisting) || (original && typeGiven)) {
        std::cerr << "usage: fotolyx-cli get [--dir DIR] [--type jpeg|bmp|bmp8 | --original] "
                     "[--filename PATTERN] [--overwrite | --skip-existing] (N... | --all)\n";
        return 2;
    }
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error)) {
        std::cerr << "fotolyx-cli get: " << folder.string() << " is not a folder\n";
        return 1;
    }

    CameraSession session(context, map);
    if (!session.LoadIndex()) {
        return session.FailureStatus();
    }
    Program& pictures = session.program();
    std::vector<unsigned> wanted;
    if (all) {
        for (unsigned p = 0; p < pictures.indexTransfer.index.receivedCount; ++p) {
            wanted.push_back(p);
        }
    } else if (!ToPositions("get", numbers, pictures, wanted)) {
        return 1;
    }
    // Every name is decided before anything is downloaded: no two pictures may share one. A
    // file is skipped only when get saved it from this very picture (the folder's record says
    // so).
    std::map<unsigned, std::string> names;
    std::set<std::string> namesTaken;
    for (unsigned p : wanted) {
        std::string name = pictures.indexTransfer.index.entries[p].fileName;
        if (pattern) {
            std::string problem;
            const auto formatted =
                FormatPictureName(*pattern, p, pictures.indexTransfer.index.entries[p], problem);
            if (!formatted) {
                std::cerr << "fotolyx-cli get: " << problem << '\n';
                return EXIT_USAGE;
            }
            name = *formatted;
        }
        if (names.count(p) == 0 && !namesTaken.insert(name).second) {
            std::cerr << "fotolyx-cli get: two pictures would both be named '" << name
                      << "' (add %n to the pattern)\n";
            return EXIT_USAGE;
        }
        names[p] = name + type->extension;
    }
    std::map<std::string, std::string> record = ReadSavedRecord(folder);
    std::set<unsigned> positions;
    for (unsigned p : wanted) {
        const std::string& name = names[p];
        const auto path = folder / name;
        if (std::filesystem::exists(path, error)) {
            const auto found = record.find(name);
            const bool sameSaved =
                found != record.end() && found->second == PictureFingerprint(pictures, p);
            if (skipExisting && sameSaved) {
                std::cerr << "Skipped " << path.string() << " (saved before)\n";
                continue;
            }
            if (skipExisting) {
                std::cerr << "fotolyx-cli get: " << path.string()
                          << " exists but was not saved from picture " << p + 1
                          << " (use --overwrite)\n";
                return EXIT_FAILED;
            }
            if (!overwrite) {
                std::cerr << "fotolyx-cli get: " << path.string()
                          << " exists (use --overwrite or --skip-existing)\n";
                return EXIT_FAILED;
            }
        }
        positions.insert(p);
    }
    // Fingerprints of the pictures to be saved, taken before the downloads change anything.
    std::map<std::string, std::string> fingerprints;
    for (unsigned p : positions) {
        fingerprints[names[p]] = PictureFingerprint(pictures, p);
    }
    if (positions.empty()) {
        return 0;
    }

    // The picture that has just arrived is the one the save dialog is asked about next.
    std::optional<unsigned> arrived;
    std::vector<std::uint8_t> originalBytes;
    bool failed = false;
    pictures.pictureDownload.pictureArrived = [&](unsigned position,
                                                  std::span<const std::uint8_t> jpeg) {
        arrived = position;
        originalBytes.clear();
        if (!original) {
            return;
        }
        if (!IsWholeJpeg(jpeg)) {
            std::cerr << "fotolyx-cli get: picture " << position + 1
                      << " did not arrive as a whole JPEG; not saved\n";
            failed = true;
            return;
        }
        originalBytes.assign(jpeg.begin(), jpeg.end());
    };
    std::vector<std::pair<std::filesystem::path, unsigned>> saved;
    session.shell.answerQuestions = true;
    session.shell.saveAnswer = [&](const SaveDialogRequest&) -> std::optional<SaveDialogResult> {
        if (!arrived) {
            return std::nullopt;
        }
        const auto path = folder / names[*arrived];
        if (!original) {
            saved.emplace_back(path, *arrived);
            return SaveDialogResult{path.string(), type->filter};
        }
        // The camera's own file: written here, and the save dialog is left unanswered.
        if (!originalBytes.empty()) {
            if (WriteFileAtomically(path, originalBytes)) {
                saved.emplace_back(path, *arrived);
            } else {
                std::cerr << "fotolyx-cli get: cannot write " << path.string() << '\n';
                failed = true;
            }
        }
        return std::nullopt;
    };
    const std::vector<unsigned> ordered(positions.begin(), positions.end());
    session.Select(ordered, ordered.back());
    pictures.previewWindow.Command(CMD_SAVE_AS);
    const bool done = session.RunUntil(
        [&] {
            return !pictures.pictureDownload.download.CaptureWaiting &&
                   !pictures.pictureDownload.download.SaveAfterDownload &&
                   !pictures.pleaseWait.Current() && pictures.captureWindows.Ids().empty();
        },
        TRANSFER_LIMIT);
    pictures.pictureDownload.pictureArrived = nullptr;
    bool recorded = false;
    for (const auto& [path, position] : saved) {
        if (std::filesystem::exists(path, error)) {
            SetTakenTime(path, pictures.indexTransfer.index.entries[position].takenAt);
            std::cout << path.string() << '\n';
            const auto fingerprint = fingerprints.find(path.filename().string());
            if (fingerprint != fingerprints.end()) {
                record[fingerprint->first] = fingerprint->second;
                recorded = true;
            }
        }
    }
    if (recorded && !WriteSavedRecord(folder, record)) {
        std::cerr << "fotolyx-cli get: cannot write " << (folder / SAVED_RECORD).string() << '\n';
    }
    if (done && !failed && saved.size() == positions.size()) {
        return EXIT_DONE;
    }
    if (done) {
        // The failed picture's message ended the download; say how far it came.
        std::cerr << "fotolyx-cli get: " << saved.size() << " of " << positions.size()
                  << " pictures saved\n";
    }
    return EXIT_FAILED;
}

int RunThumbs(Context& context, const Arguments& arguments) {
    PortMap map;
    Arguments rest;
    if (!ParsePortOptions("thumbs", arguments, map, rest)) {
        return EXIT_USAGE;
    }
    std::optional<std::filesystem::path> folder;
    bool overwrite = false;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == "--dir" && i + 1 < rest.size()) {
            folder = rest[++i];
        } else if (rest[i] == "--overwrite") {
            overwrite = true;
        } else {
            std::cerr << "fotolyx-cli thumbs: bad argument '" << rest[i] << "'\n";
            return EXIT_USAGE;
        }
    }
    if (!folder) {
        std::cerr << "usage: fotolyx-cli thumbs --dir DIR [--overwrite]\n";
        return EXIT_USAGE;
    }
    std::error_code error;
    if (!std::filesystem::is_directory(*folder, error)) {
        std::cerr << "fotolyx-cli thumbs: " << folder->string() << " is not a folder\n";
        return EXIT_FAILED;
    }
    CameraSession session(context, map);
    std::map<unsigned, std::vector<std::uint8_t>> thumbnails;
    session.program().indexTransfer.thumbnailArrived = [&](unsigned position,
                                                           std::span<const std::uint8_t> jpeg) {
        thumbnails[position].assign(jpeg.begin(), jpeg.end());
    };
    if (!session.LoadIndex()) {
        return EXIT_FAILED;
    }
    const PictureIndex& index = session.program().indexTransfer.index;
    bool failed = false;
    for (unsigned p = 0; p < index.receivedCount; ++p) {
        const PictureEntry& entry = index.entries[p];
        const auto path = *folder / (entry.fileName + "_thumb.jpg");
        const auto found = thumbnails.find(p);
        if (found == thumbnails.end() || !IsWholeJpeg(found->second)) {
            std::cerr << "fotolyx-cli thumbs: picture " << p + 1
                      << " came without a whole JPEG thumbnail; not saved\n";
            failed = true;
            continue;
        }
        if (!overwrite && std::filesystem::exists(path, error)) {
            std::cerr << "fotolyx-cli thumbs: " << path.string() << " exists (use --overwrite)\n";
            failed = true;
            continue;
        }
        if (!WriteFileAtomically(path, found->second)) {
            std::cerr << "fotolyx-cli thumbs: cannot write " << path.string() << '\n';
            failed = true;
            continue;
        }
        SetTakenTime(path, entry.takenAt);
        std::cout << path.string() << '\n';
    }
    return failed ? EXIT_FAILED : EXIT_DONE;
}

int RunRm(Context& context, const Arguments& arguments) {
    PortMap map;
    Arguments rest;
    if (!ParsePortOptions("rm", arguments, map, rest)) {
        return 2;
    }
    bool all = false;
    std::vector<unsigned> numbers;
    for (const auto& argument : rest) {
        if (argument == "--all") {
            all = true;
        } else if (const auto number = ParseNumber(argument)) {
            numbers.push_back(*number);
        } else {
            std::cerr << "fotolyx-cli rm: bad argument '" << argument << "'\n";
            return 2;
        }
    }
    if (all == !numbers.empty()) {
        std::cerr << "usage: fotolyx-cli rm (N... | --all)\n";
        return 2;
    }
    CameraSession session(context, map);
    if (!session.LoadIndex()) {
        return session.FailureStatus();
    }
    Program& pictures = session.program();
    session.shell.answerQuestions = true;
    if (all) {
        pictures.previewWindow.Command(CMD_DELETE_ALL);
    } else {
        std::vector<unsigned> positions;
        if (!ToPositions("rm", numbers, pictures, positions)) {
            return 1;
        }
        std::vector<unsigned> unique;
        for (unsigned p : positions) {
            if (std::find(unique.begin(), unique.end(), p) == unique.end()) {
                unique.push_back(p);
            }
        }
        session.Select(unique, positions.back());
        pictures.previewWindow.Command(CMD_DELETE_PAGE);
    }
    if (!session.RunUntil([&] { return !pictures.pleaseWait.Current(); }, DELETE_LIMIT)) {
        return 1;
    }
    PrintTotal(pictures);
    return 0;
}

}  // namespace fotolyx::cli
