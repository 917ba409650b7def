#include "app/ini_file.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

#include "imaging/atomic_file.h"

namespace fotolyx {

namespace {

std::string_view Trim(std::string_view text) {
    const auto isSpace = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!text.empty() && isSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isSpace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// "[name]" gives name; anything else is not a section line.
std::optional<std::string_view> SectionName(std::string_view line) {
    line = Trim(line);
    if (line.size() < 2 || line.front() != '[') {
        return std::nullopt;
    }
    const std::size_t close = line.find(']');
    if (close == std::string_view::npos) {
        return std::nullopt;
    }
    return Trim(line.substr(1, close - 1));
}

// Concatenates by appending into one reserved string: GCC 12 at -O3 reports a false
// -Wrestrict inside operator+ on temporaries.
std::string Joined(std::string_view a, std::string_view b, std::string_view c) {
    std::string text;
    text.reserve(a.size() + b.size() + c.size());
    text.append(a).append(b).append(c);
    return text;
}

bool IsComment(std::string_view line) {
    line = Trim(line);
    return line.empty() || line.front() == ';' || line.front() == '#';
}

}  // namespace

IniFile IniFile::Load(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return IniFile{};
    }
    std::ostringstream text;
    text << in.rdbuf();
    return Parse(text.str());
}

IniFile IniFile::Parse(std::string_view text) {
    IniFile file;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        file.lines_.emplace_back(line);
        if (end == std::string_view::npos) {
            break;
        }
        text.remove_prefix(end + 1);
    }
    return file;
}

std::optional<std::size_t> IniFile::FindSection(std::string_view section) const {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const auto name = SectionName(lines_[i]);
        if (name && SameName(*name, section)) {
            return i;
        }
    }
    return std::nullopt;
}

std::optional<std::size_t> IniFile::FindKey(std::size_t sectionLine, std::string_view key) const {
    for (std::size_t i = sectionLine + 1; i < lines_.size() && !SectionName(lines_[i]); ++i) {
        if (IsComment(lines_[i])) {
            continue;
        }
        const std::string_view line = lines_[i];
        const std::size_t equals = line.find('=');
        if (equals != std::string_view::npos && SameName(Trim(line.substr(0, equals)), key)) {
            return i;
        }
    }
    return std::nullopt;
}

std::string IniFile::GetString(std::string_view section, std::string_view key,
                               std::string_view fallback, std::size_t maxChars) const {
    std::string_view value = fallback;
    if (const auto sectionLine = FindSection(section)) {
        if (const auto keyLine = FindKey(*sectionLine, key)) {
            const std::string_view line = lines_[*keyLine];
            value = Trim(line.substr(line.find('=') + 1));
            // A value in matching quotes is read without them.
            if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                value.back() == value.front()) {
                value = value.substr(1, value.size() - 2);
            }
        }
    }
    return std::string(value.substr(0, std::min(maxChars, value.size())));
}

void IniFile::SetString(std::string_view section, std::string_view key, std::string_view value) {
    std::string entry = Joined(key, "=", value);
    auto sectionLine = FindSection(section);
    if (!sectionLine) {
        if (!lines_.empty() && !Trim(lines_.back()).empty()) {
            lines_.emplace_back();
        }
        lines_.push_back(Joined("[", section, "]"));
        lines_.push_back(std::move(entry));
        return;
    }
    if (const auto keyLine = FindKey(*sectionLine, key)) {
        lines_[*keyLine] = std::move(entry);
        return;
    }
    // New keys go after the section's last key, before any blank lines that end it.
    std::size_t insertAt = *sectionLine + 1;
    for (std::size_t i = *sectionLine + 1; i < lines_.size() && !SectionName(lines_[i]); ++i) {
        if (!Trim(lines_[i]).empty()) {
            insertAt = i + 1;
        }
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), std::move(entry));
}

std::string IniFile::Text() const {
    std::string text;
    for (const auto& line : lines_) {
        text += line;
        text += '\n';
    }
    return text;
}

bool IniFile::Save(const std::filesystem::path& path) const {
    const std::string text = Text();
    return WriteFileAtomically(path,
                               {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
}

}  // namespace fotolyx
