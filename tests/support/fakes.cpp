#include "support/fakes.h"

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace fotolyx::testing {

int RecordingShell::MessageBox(std::string_view text, std::string_view caption, unsigned style) {
    messages.push_back({std::string(text), std::string(caption), style});
    if (scriptedAnswers.empty()) {
        return IDOK;
    }
    const int answer = scriptedAnswers.front();
    scriptedAnswers.pop_front();
    return answer;
}

std::optional<SaveDialogResult> RecordingShell::GetSaveFileName(const SaveDialogRequest& request) {
    saveRequests.push_back(request);
    if (scriptedSaveAnswers.empty()) {
        return std::nullopt;
    }
    auto answer = scriptedSaveAnswers.front();
    scriptedSaveAnswers.pop_front();
    return answer;
}

void RecordingShell::DestroyChildWindow(WindowId window) {
    destroyedWindows.push_back(window);
    openWindows.erase(std::remove(openWindows.begin(), openWindows.end(), window),
                      openWindows.end());
}

std::optional<bool> RecordingShell::MenuItem(MenuBar menu, int commandId) const {
    const auto found = menuItems.find({menu, commandId});
    if (found == menuItems.end()) {
        return std::nullopt;
    }
    return found->second;
}

bool RecordingShell::WindowOpen(WindowId window) const {
    return std::find(openWindows.begin(), openWindows.end(), window) != openWindows.end();
}

LineOpenResult ScriptedLine::Open(int portId) {
    open = true;
    openedPort = portId;
    return LineOpenResult::Opened;
}

std::size_t ScriptedLine::Read(std::span<std::uint8_t> buffer) {
    const std::size_t count = std::min(buffer.size(), incoming.size());
    std::copy_n(incoming.begin(), count, buffer.begin());
    incoming.erase(incoming.begin(), incoming.begin() + static_cast<std::ptrdiff_t>(count));
    return count;
}

std::optional<std::vector<std::uint8_t>> FailingMemory::AllocateZeroed(std::size_t size) {
    const int call = calls++;
    sizes.push_back(size);
    if (std::find(failingCalls.begin(), failingCalls.end(), call) != failingCalls.end()) {
        return std::nullopt;
    }
    return Memory::AllocateZeroed(size);
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "fotolyx-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a temporary folder");
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    // Make read-only folders a test created removable again.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
    }
    std::filesystem::remove_all(path_, ignored);
}

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

}  // namespace fotolyx::testing
