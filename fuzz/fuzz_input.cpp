#include "fuzz_input.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "support/fakes.h"

namespace fotolyx::fuzzing {

const std::filesystem::path& FuzzFolder() {
    static const testing::TempDir folder;
    return folder.path();
}

std::filesystem::path WriteInputFile(const char* name, std::span<const std::uint8_t> bytes) {
    const std::filesystem::path path = FuzzFolder() / name;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr ||
        (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) ||
        std::fclose(file) != 0) {
        std::fprintf(stderr, "cannot write the input file %s\n", path.c_str());
        std::abort();
    }
    return path;
}

std::uint8_t InputReader::Byte() {
    if (bytes_.empty()) {
        return 0;
    }
    const std::uint8_t byte = bytes_.front();
    bytes_ = bytes_.subspan(1);
    return byte;
}

std::span<const std::uint8_t> InputReader::Take(std::size_t count) {
    const auto taken = bytes_.first(std::min(count, bytes_.size()));
    bytes_ = bytes_.subspan(taken.size());
    return taken;
}

}  // namespace fotolyx::fuzzing
