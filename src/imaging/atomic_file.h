#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <span>

namespace fotolyx {

// Writes a file beside its destination and moves it over the destination only once every
// byte is on disk, so a failed or interrupted write never leaves a half file where the old
// one was. Every writer of files the user named goes through this.
//
//   AtomicFile out(path);
//   if (!out.IsOpen()) ...;
//   fwrite(..., out.Stream());      // or out.Write(bytes)
//   if (!out.Commit()) ...;         // flush, fsync, rename over path, fsync the folder
//
// Destroying an uncommitted AtomicFile removes the temporary file. The temporary file is
// ".NAME.XXXXXX" beside the destination NAME and stays locked (flock) while its writer lives; a
// writer that is killed leaves it behind, and the next AtomicFile for the same destination
// removes it (see RemoveAbandonedTemporaries).
class AtomicFile {
  public:
    explicit AtomicFile(std::filesystem::path destination);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    bool IsOpen() const { return stream_ != nullptr; }
    std::FILE* Stream() { return stream_; }
    const std::filesystem::path& TemporaryPath() const { return temporary_; }

    // Appends bytes; false (and the file is marked failed) on a short write.
    bool Write(std::span<const std::uint8_t> bytes);
    // Makes the new file the destination. False when anything failed; the destination is
    // then untouched and the temporary file gone.
    bool Commit();
    // Drops the temporary file without touching the destination.
    void Abandon();

  private:
    std::filesystem::path destination_;
    std::filesystem::path temporary_;
    std::FILE* stream_ = nullptr;
    bool failed_ = false;
};

// Removes the temporary files ".NAME.XXXXXX" beside destination NAME that no living writer
// holds: what a writer killed in the middle of a save left. Files of other names are never
// touched. Every AtomicFile calls it before it makes its own temporary file.
void RemoveAbandonedTemporaries(const std::filesystem::path& destination);

// Writes the whole of bytes to path through an AtomicFile.
bool WriteFileAtomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

}  // namespace fotolyx
