#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
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

struct ShownMessage {
    std::string text;
    std::string caption;
    unsigned style = 0;
};

// Records every visible effect; message boxes are answered from a script (IDOK by default).
class RecordingShell : public Shell {
  public:
    int MessageBox(std::string_view text, std::string_view caption, unsigned style) override;
    void SetStatusText(std::string_view text) override { statusTexts.emplace_back(text); }
    // Answers from scriptedSaveAnswers (none = cancelled), recording every request.
    std::optional<SaveDialogResult> GetSaveFileName(const SaveDialogRequest& request) override;
    void ShowLinkDialog(LinkDialog dialog) override { linkDialogsShown.push_back(dialog); }
    void EndLinkDialog(LinkDialog dialog) override { linkDialogsEnded.push_back(dialog); }
    void EnableMdiClient(bool enabled) override { mdiClientStates.push_back(enabled); }
    void ShowHelpContext(int context) override { helpContexts.push_back(context); }
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
    void DestroyChildWindow(WindowId window) override;
    void InvalidateWindow(WindowId window, std::optional<Rect> area, bool erase) override {
        invalidations.push_back({window, area, erase});
        if (onInvalidate && !CoveredByButton(window, area)) {
            onInvalidate(window);
        }
    }
    // The Live image window's buttons are opaque child windows: redrawing one does not paint
    // the window under it (which would ask the camera for a frame).
    static bool CoveredByButton(WindowId window, const std::optional<Rect>& area) {
        return window == LIVE_IMAGE_WINDOW && area &&
               (*area == LIVE_PREVIEW_BUTTON_RECT || *area == LIVE_PHOTO_BUTTON_RECT);
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
    void SetProgressRange(int max) override { progressMax = max; }
    void SetProgressPos(int pos) override { progressPos = pos; }
    bool SetClipboardDib(std::vector<std::uint8_t> dib) override {
        clipboard = std::move(dib);
        return true;
    }

    // Whether a menu item was last enabled (none: never touched).
    std::optional<bool> MenuItem(MenuBar menu, int commandId) const;
    bool WindowOpen(WindowId window) const;

    std::vector<ShownMessage> messages;
    std::vector<std::string> statusTexts;
    std::deque<int> scriptedAnswers;
    std::vector<SaveDialogRequest> saveRequests;
    std::deque<std::optional<SaveDialogResult>> scriptedSaveAnswers;
    std::vector<LinkDialog> linkDialogsShown;
    std::vector<LinkDialog> linkDialogsEnded;
    std::vector<bool> mdiClientStates;
    std::vector<int> helpContexts;
    // A scenario's host paints through this (a host without a display paints on invalidation).
    std::function<void(WindowId)> onInvalidate;

    struct Invalidation {
        WindowId window;
        std::optional<Rect> area;
        bool erase;
    };
    struct ContentScroll {
        WindowId window;
        int dx;
        int dy;
    };
    std::map<std::pair<MenuBar, int>, bool> menuItems;
    std::vector<MenuBar> frameMenus;
    std::vector<ChildWindowRequest> createdWindows;
    std::vector<WindowId> openWindows;
    std::vector<WindowId> destroyedWindows;
    std::vector<WindowId> activatedWindows;
    std::map<WindowId, std::string> windowTitles;
    std::vector<Invalidation> invalidations;
    std::vector<ContentScroll> contentScrolls;
    std::map<std::pair<WindowId, ScrollBarKind>, ScrollBarState> scrollBars;
    std::vector<PleaseWait> pleaseWaitShown;
    std::vector<PleaseWait> pleaseWaitEnded;
    bool progressShown = false;
    int progressMax = 0;
    int progressPos = 0;
    std::vector<std::uint8_t> clipboard;
};

// A disk with a fixed amount of free space (after the scripted answers, one per question);
// records the folders asked about.
class FixedFreeSpace : public FreeSpace {
  public:
    explicit FixedFreeSpace(std::uint64_t bytes = std::uint64_t{1} << 40) : available(bytes) {}
    std::uint64_t AvailableBytes(const std::filesystem::path& folder) override {
        askedFolders.push_back(folder);
        if (!scriptedAnswers.empty()) {
            const std::uint64_t answer = scriptedAnswers.front();
            scriptedAnswers.pop_front();
            return answer;
        }
        return available;
    }

    std::uint64_t available;
    std::deque<std::uint64_t> scriptedAnswers;
    std::vector<std::filesystem::path> askedFolders;
};

// Keeps the running timers; a test fires them by hand.
class RecordingTimers : public Timers {
  public:
    void StartTimer(WindowId window, int id, int milliseconds) override {
        running[{window, id}] = milliseconds;
    }
    void KillTimer(WindowId window, int id) override { running.erase({window, id}); }

    std::map<std::pair<WindowId, int>, int> running;
};

// A line that records what is written and hands out what the test queued.
class ScriptedLine : public SerialLine {
  public:
    LineOpenResult Open(int portId) override;
    void Close() override { open = false; }
    bool IsOpen() const override { return open; }
    void Write(std::span<const std::uint8_t> bytes) override {
        written.insert(written.end(), bytes.begin(), bytes.end());
    }
    std::size_t Read(std::span<std::uint8_t> buffer) override;
    bool SetBaudRate(std::uint32_t baud) override {
        baudRate = baud;
        return true;
    }
    void Purge() override { incoming.clear(); }

    bool open = false;
    std::uint32_t baudRate = 9600;
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
    std::optional<std::vector<std::uint8_t>> AllocateZeroed(std::size_t size) override;

    std::vector<int> failingCalls;
    int calls = 0;
    std::vector<std::size_t> sizes;
};

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& path);
std::string ReadText(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);

}  // namespace fotolyx::testing
