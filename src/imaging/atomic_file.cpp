#include "imaging/atomic_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <string>
#include <string_view>
#include <system_error>
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

constexpr std::size_t TEMPORARY_SUFFIX_LENGTH = 6;  // mkstemp's XXXXXX

// ".NAME." for a destination NAME.
std::string TemporaryPrefix(const std::filesystem::path& destination) {
    return "." + destination.filename().string() + ".";
}

bool IsTemporaryName(std::string_view name, std::string_view prefix) {
    if (name.size() != prefix.size() + TEMPORARY_SUFFIX_LENGTH || !name.starts_with(prefix)) {
        return false;
    }
    for (const char c : name.substr(prefix.size())) {
        if (std::isalnum(static_cast<unsigned char>(c)) == 0) {
            return false;
        }
    }
    return true;
}

// Removes the temporary file at path when it is left from a writer that died: every live writer
// holds a lock on its temporary file, and the system drops it with the process.
void RemoveIfAbandoned(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    struct stat status {};
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
        ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        ::unlink(path.c_str());
    }
    ::close(fd);
}

}  // namespace

void RemoveAbandonedTemporaries(const std::filesystem::path& destination) {
    const std::string prefix = TemporaryPrefix(destination);
    std::error_code error;
    std::vector<std::filesystem::path> abandoned;
    for (std::filesystem::directory_iterator it(FolderOf(destination), error), end;
         !error && it != end; it.increment(error)) {
        if (IsTemporaryName(it->path().filename().string(), prefix)) {
            abandoned.push_back(it->path());
        }
    }
    for (const auto& path : abandoned) {
        RemoveIfAbandoned(path);
    }
}

AtomicFile::AtomicFile(std::filesystem::path destination) : destination_(std::move(destination)) {
    RemoveAbandonedTemporaries(destination_);
    const std::string pattern =
        (FolderOf(destination_) / (TemporaryPrefix(destination_) + "XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    temporary_ = name.data();
    // Held while the file lives, so that a later save can tell it from one a killed writer left.
    ::flock(fd, LOCK_EX | LOCK_NB);
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
