#include "imaging/rewrite_file.h"

#include <fcntl.h>
#include <unistd.h>

namespace fotolyx {

std::FILE* OpenForRewrite(const std::filesystem::path& path) {
    // These files hold the user's pictures: readable by the user alone.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        return nullptr;
    }
    std::FILE* file = ::fdopen(fd, "wb");
    if (file == nullptr) {
        ::close(fd);
    }
    return file;
}

bool CloseRewritten(std::FILE* file, bool keep) {
    if (file == nullptr) {
        return false;
    }
    bool ok = std::fflush(file) == 0 && std::ferror(file) == 0;
    const off_t end = keep && ok ? ::ftello(file) : 0;
    ok = end >= 0 && ::ftruncate(::fileno(file), end) == 0 && ok;
    ok = std::fclose(file) == 0 && ok;
    return ok && keep;
}

bool RewriteFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
    std::FILE* file = OpenForRewrite(path);
    const bool written =
        file != nullptr &&
        (bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size());
    return CloseRewritten(file, written);
}

}  // namespace fotolyx
