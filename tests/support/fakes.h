#pragma once

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "live/live_decoding.h"
#include "ports/free_space.h"
#include "ports/local_clock.h"
#include "ports/memory.h"
#include "ports/serial_line.h"
#include "ports/shell.h"
#include "ports/timers.h"

namespace fotolyx::testing {

// The front of a scripted queue, or the fallback when nothing is scripted.
template <typename T>
T TakeFront(std::deque<T>& queue, T fallback) {
    if (!queue.empty()) {
        fallback = std::move(queue.front());
        queue.pop_front();
    }
    return fallback;
}

// Moves as many bytes as fit from the front of a queue into buffer; how many.
template <typename Queue>
std::size_t TakeBytes(Queue& queue, std::span<std::uint8_t> buffer) {
    const std::size_t count = std::min(buffer.size(), queue.size());
    std::copy_n(queue.begin(), count, buffer.begin());
    queue.erase(queue.begin(), queue.begin() + static_cast<std::ptrdiff_t>(count));
    return count;
}

struct ShownMessage {
    std::string text;
    std::string caption;
    unsigned style = 0;
};

// Records every visible effect; message boxes (IDOK) and save dialogs (cancelled) answer scripts.
class RecordingShell : public Shell {
  public:
    int MessageBox(std::string_view text, std::string_view caption, unsigned style) override {
        messages.push_back({std::string(text), std::string(caption), style});
        return TakeFront(scriptedAnswers, IDOK);
    }
    void SetStatusText(std::string_view text) override { statusTexts.emplace_back(text); }
    std::optional<SaveDialogResult> GetSaveFileName(const SaveDialogRequest& request) override {
        saveRequests.push_back(request);
        return TakeFront(scriptedSaveAnswers, std::optional<SaveDialogResult>());
    }
    void ShowLinkDialog(LinkDialog dialog) override { linkDialogsShown.push_back(dialog); }
    void EndLinkDialog(LinkDialog dialog) override { linkDialogsEnded.push_back(dialog); }
    void EnableMdiClient(bool enabled) override { mdiClientStates.push_back(enabled); }
    void ShowHelpContext(int) override {}
    void EnableMenuItem(MenuBar menu, int commandId, bool enabled) override {
        menuItems[{menu, commandId}] = enabled;
    }
    void SetFrameMenu(MenuBar menu) override { frameMenus.push_back(menu); }
    void CreateChildWindow(const ChildWindowRequest& request) override {
        createdWindows.push_back(request);
        openWindows.push_back(request.id);
    }
    void ActivateChildWindow(WindowId window) override { activatedWindows.push_back(window); }
    void SetWindowTitle(WindowId window, std::string_view title) override {
        windowTitles[window] = std::string(title);
    }
    void DestroyChildWindow(WindowId window) override {
        destroyedWindows.push_back(window);
        std::erase(openWindows, window);
    }
    void InvalidateWindow(WindowId window, std::optional<Rect> area, bool erase) override {
        invalidations.push_back({window, area, erase});
        // The Live image window's buttons are opaque: redrawing one paints not the window.
        const bool button = window == LIVE_IMAGE_WINDOW && area &&
                            (*area == LIVE_PREVIEW_BUTTON_RECT || *area == LIVE_PHOTO_BUTTON_RECT);
        if (onInvalidate && !button) {
            onInvalidate(window);
        }
    }
    void ScrollWindowContent(WindowId window, int dx, int dy) override {
        contentScrolls.push_back({window, dx, dy});
    }
    void SetScrollBar(WindowId window, ScrollBarKind bar, const ScrollBarState& state) override {
        scrollBars[{window, bar}] = state;
    }
    void ShowPleaseWait(PleaseWait dialog) override { pleaseWaitShown.push_back(dialog); }
    void EndPleaseWait(PleaseWait dialog) override { pleaseWaitEnded.push_back(dialog); }
    void ShowProgressBar(bool shown) override { progressShown = shown; }
    void SetProgressRange(int) override {}
    void SetProgressPos(int pos) override { progressPos = pos; }
    bool SetClipboardDib(std::vector<std::uint8_t> dib) override {
        clipboard = std::move(dib);
        return true;
    }

    // Whether a menu item was last enabled (none: never touched).
    std::optional<bool> MenuItem(MenuBar menu, int commandId) const {
        const auto found = menuItems.find({menu, commandId});
        return found == menuItems.end() ? std::nullopt : std::optional(found->second);
    }
    bool WindowOpen(WindowId window) const { return std::ranges::count(openWindows, window) > 0; }

    std::vector<ShownMessage> messages;
    std::vector<std::string> statusTexts;
    std::deque<int> scriptedAnswers;
    std::vector<SaveDialogRequest> saveRequests;
    std::deque<std::optional<SaveDialogResult>> scriptedSaveAnswers;
    std::vector<LinkDialog> linkDialogsShown, linkDialogsEnded;
    std::vector<bool> mdiClientStates;
    // A scenario's host without a display paints through this.
    std::function<void(WindowId)> onInvalidate;

    struct Invalidation {
        WindowId window;
        std::optional<Rect> area;
        bool erase;
    };
    struct ContentScroll {
        WindowId window;
        int dx, dy;
    };
    std::map<std::pair<MenuBar, int>, bool> menuItems;
    std::vector<MenuBar> frameMenus;
    std::vector<ChildWindowRequest> createdWindows;
    std::vector<WindowId> openWindows, destroyedWindows, activatedWindows;
    std::map<WindowId, std::string> windowTitles;
    std::vector<Invalidation> invalidations;
    std::vector<ContentScroll> contentScrolls;
    std::map<std::pair<WindowId, ScrollBarKind>, ScrollBarState> scrollBars;
    std::vector<PleaseWait> pleaseWaitShown, pleaseWaitEnded;
    bool progressShown = false;
    int progressPos = 0;
    std::vector<std::uint8_t> clipboard;
};

// A disk with a fixed free space after the scripted answers; records the folders asked about.
class FixedFreeSpace : public FreeSpace {
  public:
    explicit FixedFreeSpace(std::uint64_t bytes = std::uint64_t{1} << 40) : available(bytes) {}
    std::uint64_t AvailableBytes(const std::filesystem::path& folder) override {
        askedFolders.push_back(folder);
        return TakeFront(scriptedAnswers, available);
    }

    std::uint64_t available;
    std::deque<std::uint64_t> scriptedAnswers;
    std::vector<std::filesystem::path> askedFolders;
};

class RecordingTimers : public Timers {
  public:
    void StartTimer(WindowId window, int id, int milliseconds) override {
        running[{window, id}] = milliseconds;
    }
    void KillTimer(WindowId window, int id) override { running.erase({window, id}); }

    std::map<std::pair<WindowId, int>, int> running;
};

class ScriptedLine : public SerialLine {
  public:
    LineOpenResult Open(int) override {
        open = true;
        return LineOpenResult::Opened;
    }
    void Close() override { open = false; }
    bool IsOpen() const override { return open; }
    void Write(std::span<const std::uint8_t> bytes) override {
        written.insert(written.end(), bytes.begin(), bytes.end());
    }
    std::size_t Read(std::span<std::uint8_t> buffer) override {
        return TakeBytes(incoming, buffer);
    }
    bool SetBaudRate(std::uint32_t) override { return true; }
    void Purge() override { incoming.clear(); }

    bool open = false;
    std::vector<std::uint8_t> written;
    std::deque<std::uint8_t> incoming;
};

class FixedClock : public LocalClock {
  public:
    LocalTime Now() const override { return now; }
    LocalTime now{2002, 3, 4, 5, 6, 7};
};

// Fails the allocations whose 0-based sequence numbers are listed; records every size asked for.
class FailingMemory : public Memory {
  public:
    std::optional<std::vector<std::uint8_t>> AllocateZeroed(std::size_t size) override {
        sizes.push_back(size);
        const bool fails = std::count(failingCalls.begin(), failingCalls.end(), calls++) > 0;
        return fails ? std::nullopt : Memory::AllocateZeroed(size);
    }

    std::vector<int> failingCalls;
    int calls = 0;
    std::vector<std::size_t> sizes;
};

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
  public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "fotolyx-test-XXXXXX");
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot make a temporary folder");
        }
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        // Make read-only folders a test created removable again.
        for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
             it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ignored);
        }
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

inline std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::string ReadText(const std::filesystem::path& path) {
    const std::vector<std::uint8_t> bytes = ReadBytes(path);
    return {bytes.begin(), bytes.end()};
}

inline void WriteBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

}  // namespace fotolyx::testing
