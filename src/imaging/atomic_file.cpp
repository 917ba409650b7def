#include "imaging/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

namespace fotolyx {

namespace {

std::filesystem::path FolderOf(const std::filesystem::path& path) {
    std::filesystem::path folder = path.parent_path();
    return folder.empty() ? std::filesystem::path(".") : folder;
}

void SyncFolder(const std::filesystem::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

AtomicFile::AtomicFile(std::filesystem::path destination) : destination_(std::move(destination)) {
    const std::string pattern =
        (FolderOf(destination_) / ("." + destination_.filename().string() + ".XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        return;
    }
    temporary_ = name.data();
    // Keep the permissions an ordinary new file would get, not mkstemp's 0600.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    stream_ = ::fdopen(fd, "wb");
    if (stream_ == nullptr) {
        ::close(fd);
        ::unlink(temporary_.c_str());
        temporary_.clear();
    }
}

AtomicFile::~AtomicFile() {
    Abandon();
}

bool AtomicFile::Write(std::span<const std::uint8_t> bytes) {
    if (stream_ == nullptr || failed_) {
        return false;
    }
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), stream_) != bytes.size()) {
        failed_ = true;
    }
    return !failed_;
}

bool AtomicFile::Commit() {
    if (stream_ == nullptr) {
        return false;
    }
    bool ok = !failed_ && std::fflush(stream_) == 0 && std::ferror(stream_) == 0 &&
              ::fsync(::fileno(stream_)) == 0;
    ok = (std::fclose(stream_) == 0) && ok;
    stream_ = nullptr;
    if (ok && ::rename(temporary_.c_str(), destination_.c_str()) == 0) {
        temporary_.clear();
        SyncFolder(FolderOf(destination_));
        return true;
    }
    ::unlink(temporary_.c_str());
    temporary_.clear();
    return false;
}

void AtomicFile::Abandon() {
    if (stream_ != nullptr) {
        std::fclose(stream_);
        stream_ = nullptr;
    }
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
    }
}

bool WriteFileAtomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
    AtomicFile out(path);
    return out.Write(bytes) && out.Commit();
}

}  // namespace fotolyx
