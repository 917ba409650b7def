#pragma once

#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <span>
#include <string>

namespace fotolyx {

// What a save over a path meets: the file that takes the bytes (the path itself, or the file
// a symbolic link at the path leads to), whether it exists and the identity it keeps, or why
// it may not be written.
struct SaveTarget {
    std::filesystem::path file;  // where the new contents go
    bool exists = false;
    mode_t mode = 0;  // permission bits of the existing file
    uid_t owner = 0;
    gid_t group = 0;
    std::string error;  // empty when the save may go ahead; else the message for the user
};

// Looks at path without opening it (a named pipe would block): follows symbolic links, and
// refuses what a save must not replace: anything but a regular file, a file the process may not
// write, a folder that is missing or may not be written, and a file with more than one hard
// link (a replacement would leave the other names with the old contents, and writing into it
// in place could leave every name with half a file).
SaveTarget ExamineSaveTarget(const std::filesystem::path& path);

// Writes a file beside its destination and moves it over the destination only once every
// byte is on disk, so a failed or interrupted write never leaves a half file where the old
// one was. Every writer of files the user named goes through this.
//
//   AtomicFile out(path);
//   if (!out.IsOpen()) ... out.Error() ...;
//   fwrite(..., out.Stream());      // or out.Write(bytes)
//   if (!out.Commit()) ...;         // flush, fsync, rename over path, fsync the folder
//
// The destination keeps its identity: a symbolic link stays a link and the file it leads to
// gets the new contents; the new file takes the old one's permissions, and its owner and group
// where the process may set them. What ExamineSaveTarget refuses is never opened.
//
// Destroying an uncommitted AtomicFile removes the temporary file. The temporary file is
// ".NAME.fotolyx-XXXXXX.part" beside the destination NAME and stays locked (flock) while its
// writer lives; a writer that is killed leaves it behind, and the next AtomicFile for the same
// destination removes it (see RemoveAbandonedTemporaries).
class AtomicFile {
  public:
    explicit AtomicFile(std::filesystem::path destination);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    bool IsOpen() const { return stream_ != nullptr; }
    std::FILE* Stream() { return stream_; }
    const std::filesystem::path& TemporaryPath() const { return temporary_; }
    // Why the file could not be opened, written or put in place ("Cannot create …: …").
    const std::string& Error() const { return error_; }

    // Appends bytes; false (and the file is marked failed) on a short write.
    bool Write(std::span<const std::uint8_t> bytes);
    // Makes the new file the destination. False when anything failed; the destination is
    // then untouched and the temporary file gone.
    bool Commit();
    // Drops the temporary file without touching the destination.
    void Abandon();

  private:
    void Fail(const char* step, int errorNumber);

    SaveTarget target_;
    std::filesystem::path temporary_;
    std::FILE* stream_ = nullptr;
    bool failed_ = false;
    std::string error_;
};

// The name part of the temporary files for a destination NAME: ".NAME.fotolyx-" (NAME cut so
// that the whole name stays within the file system's limit).
std::string TemporaryPrefix(const std::filesystem::path& destination);
inline constexpr char TEMPORARY_SUFFIX[] = ".part";

// Removes the temporary files ".NAME.fotolyx-XXXXXX.part" beside destination NAME that this
// user's writers left and no living writer holds: what a writer killed in the middle of a save
// left. Files of any other name are never touched. Every AtomicFile calls it before it makes
// its own temporary file.
void RemoveAbandonedTemporaries(const std::filesystem::path& destination);

// Writes the whole of bytes to path through an AtomicFile; on failure error (when given) gets
// the reason.
bool WriteFileAtomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes,
                         std::string* error = nullptr);

// A new empty file "QZV…" in folder; an empty path when none can be made.
std::filesystem::path MakeTempName(const std::filesystem::path& folder);
// Deletes the file (when the name is not empty) and clears the name.
void DropTempFile(std::filesystem::path& name);

// The folder a file is in; "." for a bare name.
std::filesystem::path FolderOfFile(const std::filesystem::path& path);

}  // namespace fotolyx
