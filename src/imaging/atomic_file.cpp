#include "imaging/atomic_file.h"

#include <stdlib.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <system_error>
#include <vector>

namespace fotolyx {

namespace {

constexpr std::size_t RANDOM_PART_LENGTH = 6;  // mkstemp's XXXXXX
constexpr char TEMPORARY_TAG[] = ".fotolyx-";
// Room left in a 255-byte file name for the dot, the tag, the random part and the suffix.
constexpr std::size_t MAX_NAME_IN_TEMPORARY =
    255 - 1 - (sizeof TEMPORARY_TAG - 1) - RANDOM_PART_LENGTH - (sizeof TEMPORARY_SUFFIX - 1);
constexpr int MAX_LINK_HOPS = 40;  // as the system allows when it follows links itself

// What a file that is not a regular one is called in a refusal.
struct FileKind {
    mode_t type;
    const char* name;
};
constexpr std::array<FileKind, 5> OTHER_FILE_KINDS = {{
    {S_IFDIR, "a folder"},
    {S_IFIFO, "a named pipe"},
    {S_IFCHR, "a device"},
    {S_IFBLK, "a device"},
    {S_IFSOCK, "a socket"},
}};

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

std::string StepFailed(const char* step, const std::filesystem::path& path, int errorNumber) {
    return std::string("Cannot ") + step + " " + path.string() + ": " + std::strerror(errorNumber) +
           ".";
}

bool IsTemporaryName(std::string_view name, std::string_view prefix) {
    const std::string_view suffix = TEMPORARY_SUFFIX;
    if (name.size() != prefix.size() + RANDOM_PART_LENGTH + suffix.size() ||
        !name.starts_with(prefix) || !name.ends_with(suffix)) {
        return false;
    }
    for (const char c : name.substr(prefix.size(), RANDOM_PART_LENGTH)) {
        if (std::isalnum(static_cast<unsigned char>(c)) == 0) {
            return false;
        }
    }
    return true;
}

// Removes the temporary file at path when it is left from a writer of this user that died:
// every live writer holds a lock on its temporary file, and the system drops it with the
// process.
void RemoveIfAbandoned(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    struct stat status {};
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_uid == ::geteuid() &&
        ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        ::unlink(path.c_str());
    }
    ::close(fd);
}

// The file a chain of symbolic links starting at path ends in (path itself when it is none).
// Sets errorNumber when a step cannot be looked at.
std::filesystem::path FollowLinks(std::filesystem::path path, struct stat& status, bool& exists,
                                  int& errorNumber) {
    for (int hop = 0; hop <= MAX_LINK_HOPS; ++hop) {
        if (::lstat(path.c_str(), &status) != 0) {
            exists = false;
            errorNumber = errno == ENOENT ? 0 : errno;
            return path;
        }
        if (!S_ISLNK(status.st_mode)) {
            exists = true;
            errorNumber = 0;
            return path;
        }
        std::error_code error;
        const std::filesystem::path next = std::filesystem::read_symlink(path, error);
        if (error) {
            errorNumber = error.value();
            return path;
        }
        path = next.is_absolute() ? next : FolderOf(path) / next;
    }
    errorNumber = ELOOP;
    return path;
}

}  // namespace

std::string TemporaryPrefix(const std::filesystem::path& destination) {
    const std::string name = destination.filename().string();
    return "." + name.substr(0, MAX_NAME_IN_TEMPORARY) + TEMPORARY_TAG;
}

SaveTarget ExamineSaveTarget(const std::filesystem::path& path) {
    SaveTarget target;
    struct stat status {};
    int errorNumber = 0;
    target.file = FollowLinks(path, status, target.exists, errorNumber);
    if (errorNumber != 0) {
        target.error = StepFailed("write", path, errorNumber);
        return target;
    }
    if (target.exists && !S_ISREG(status.st_mode)) {
        const char* kind = "not a regular file";
        for (const FileKind& candidate : OTHER_FILE_KINDS) {
            if ((status.st_mode & S_IFMT) == candidate.type) {
                kind = candidate.name;
            }
        }
        target.error =
            "Cannot save over " + path.string() + ": it is " + kind + ", not a regular file.";
        return target;
    }
    const std::filesystem::path folder = FolderOf(target.file);
    if (::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
        target.error = StepFailed(target.exists ? "write" : "create", path, errno);
        return target;
    }
    if (!target.exists) {
        return target;
    }
    if (::faccessat(AT_FDCWD, target.file.c_str(), W_OK, AT_EACCESS) != 0) {
        target.error = StepFailed("write", path, errno);
        return target;
    }
    if (status.st_nlink > 1) {
        target.error = "Cannot save over " + path.string() + ": it has " +
                       std::to_string(status.st_nlink) +
                       " hard links, which a save would separate. Save it under another name.";
        return target;
    }
    target.mode = status.st_mode & 07777;
    target.owner = status.st_uid;
    target.group = status.st_gid;
    return target;
}

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

AtomicFile::AtomicFile(std::filesystem::path destination)
    : target_(ExamineSaveTarget(destination)) {
    if (!target_.error.empty()) {
        error_ = target_.error;
        failed_ = true;
        return;
    }
    RemoveAbandonedTemporaries(target_.file);
    const std::string pattern =
        (FolderOf(target_.file) / (TemporaryPrefix(target_.file) + "XXXXXX" + TEMPORARY_SUFFIX))
            .string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = ::mkostemps(name.data(), sizeof TEMPORARY_SUFFIX - 1, O_CLOEXEC);
    if (fd < 0) {
        Fail(target_.exists ? "write" : "create", errno);
        return;
    }
    temporary_ = name.data();
    // Held while the file lives, so that a later save can tell it from one a killed writer left.
    ::flock(fd, LOCK_EX | LOCK_NB);
    if (target_.exists) {
        // The old file's owner and group where the process may give them (the group alone
        // when only that is allowed), then its permissions; group rights are not handed to
        // a group the old file did not have.
        mode_t mode = target_.mode;
        if (::fchown(fd, target_.owner, target_.group) != 0 &&
            ::fchown(fd, static_cast<uid_t>(-1), target_.group) != 0) {
            mode &= ~static_cast<mode_t>(S_IRWXG);
        }
        ::fchmod(fd, mode);
    } else {
        // The permissions an ordinary new file would get, not mkstemp's 0600.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
    }
    stream_ = ::fdopen(fd, "wb");
    if (stream_ == nullptr) {
        Fail("write", errno);
        ::close(fd);
        ::unlink(temporary_.c_str());
        temporary_.clear();
    }
}

AtomicFile::~AtomicFile() {
    Abandon();
}

void AtomicFile::Fail(const char* step, int errorNumber) {
    failed_ = true;
    if (error_.empty()) {
        error_ = StepFailed(step, target_.file, errorNumber != 0 ? errorNumber : EIO);
    }
}

bool AtomicFile::Write(std::span<const std::uint8_t> bytes) {
    if (stream_ == nullptr || failed_) {
        return false;
    }
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), stream_) != bytes.size()) {
        Fail("write", errno);
    }
    return !failed_;
}

bool AtomicFile::Commit() {
    if (stream_ == nullptr) {
        if (error_.empty()) {
            Fail("write", EBADF);
        }
        return false;
    }
    bool ok = !failed_;
    if (ok && (std::fflush(stream_) != 0 || std::ferror(stream_) != 0 ||
               ::fsync(::fileno(stream_)) != 0)) {
        Fail("write", errno);
        ok = false;
    }
    if (std::fclose(stream_) != 0 && ok) {
        Fail("write", errno);
        ok = false;
    }
    stream_ = nullptr;
    if (ok && ::rename(temporary_.c_str(), target_.file.c_str()) == 0) {
        temporary_.clear();
        SyncFolder(FolderOf(target_.file));
        return true;
    }
    if (ok) {
        Fail("replace", errno);
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

bool WriteFileAtomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes,
                         std::string* error) {
    AtomicFile out(path);
    const bool ok = out.Write(bytes) && out.Commit();
    if (!ok && error != nullptr) {
        *error = out.Error();
    }
    return ok;
}

std::filesystem::path MakeTempName(const std::filesystem::path& folder) {
    std::string pattern = (folder / "QZVXXXXXX.tmp").string();
    const int fd = ::mkstemps(pattern.data(), 4);
    if (fd < 0) {
        return {};
    }
    ::close(fd);
    return pattern;
}

void DropTempFile(std::filesystem::path& name) {
    if (!name.empty()) {
        std::error_code error;
        std::filesystem::remove(name, error);
        name.clear();
    }
}

std::filesystem::path FolderOfFile(const std::filesystem::path& path) {
    const std::filesystem::path folder = path.parent_path();
    return folder.empty() ? std::filesystem::path(".") : folder;
}

}  // namespace fotolyx
