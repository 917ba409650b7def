#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <span>

namespace fotolyx {

// Scratch and temporary files are rewritten in place rather than cut to nothing first: the file
// system then keeps their blocks instead of freeing and reallocating (and flushing) them on
// every save. Not for files the user named (those go through AtomicFile).

// Opens path for writing from its start, creating it when missing; null when it cannot.
std::FILE* OpenForRewrite(const std::filesystem::path& path);

// Closes a file from OpenForRewrite. With keep, cuts it to what was written and returns true
// when every write succeeded; without, leaves it empty and returns false.
bool CloseRewritten(std::FILE* file, bool keep);

// Rewrites path with exactly bytes (created 0600 when missing); false on any failure.
bool RewriteFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

}  // namespace fotolyx
