#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fotolyx {

// A small INI file with the semantics of the classic profile functions: section and key names
// compare without regard to case, values are trimmed, and writing a key keeps every other
// section, key and comment line as it was (a missing section is appended).
class IniFile {
  public:
    // Reads the file; a missing or unreadable file gives an empty document.
    static IniFile Load(const std::filesystem::path& path);
    static IniFile Parse(std::string_view text);

    // The value of key in section, cut to at most maxChars characters; fallback when missing.
    std::string GetString(std::string_view section, std::string_view key, std::string_view fallback,
                          std::size_t maxChars) const;
    void SetString(std::string_view section, std::string_view key, std::string_view value);

    std::string Text() const;
    // Writes the whole document beside path and moves it over path; false on any failure.
    bool Save(const std::filesystem::path& path) const;

  private:
    std::optional<std::size_t> FindSection(std::string_view section) const;
    std::optional<std::size_t> FindKey(std::size_t sectionLine, std::string_view key) const;

    std::vector<std::string> lines_;
    bool byteOrderMark_ = false;
};

}  // namespace fotolyx
