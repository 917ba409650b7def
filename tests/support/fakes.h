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
    // Records the request; a scenario's host paints through onInvalidate.
    void InvalidateRect(WindowId window, std::optional<WindowRect> rect, bool erase) override {
        invalidations.push_back({window, rect, erase});
        if (onInvalidate) {
            onInvalidate(window);
        }
    }
    void EnableMenuItem(int commandId, bool enabled) override {
        menuItemStates[commandId] = enabled;
        menuChanges.emplace_back(commandId, enabled);
    }
    void ChildWindowCreated(WindowId window, ChildWindowKind kind,
                            std::string_view title) override {
        childWindows.push_back({window, kind, std::string(title)});
    }

    std::vector<ShownMessage> messages;
    std::vector<std::string> statusTexts;
    std::deque<int> scriptedAnswers;
    std::vector<SaveDialogRequest> saveRequests;
    std::deque<std::optional<SaveDialogResult>> scriptedSaveAnswers;
    std::vector<LinkDialog> linkDialogsShown;
    std::vector<LinkDialog> linkDialogsEnded;
    std::vector<bool> mdiClientStates;
    std::vector<int> helpContexts;

    struct Invalidation {
        WindowId window = 0;
        std::optional<WindowRect> rect;
        bool erase = false;
    };
    std::vector<Invalidation> invalidations;
    std::function<void(WindowId)> onInvalidate;
    std::map<int, bool> menuItemStates;
    std::vector<std::pair<int, bool>> menuChanges;
    struct ChildWindow {
        WindowId window = 0;
        ChildWindowKind kind = ChildWindowKind::Openfile;
        std::string title;
    };
    std::vector<ChildWindow> childWindows;
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
    int openedPort = 0;
    std::uint32_t baudRate = 9600;
    std::vector<std::uint8_t> written;
    std::deque<std::uint8_t> incoming;
};

class FixedClock : public LocalClock {
  public:
    LocalTime Now() const override { return now; }
    LocalTime now{2002, 3, 4, 5, 6, 7};
};

// Fails the allocations whose 0-based sequence numbers are listed.
class FailingMemory : public Memory {
  public:
    std::optional<std::vector<std::uint8_t>> AllocateZeroed(std::size_t size) override;

    std::vector<int> failingCalls;
    int calls = 0;
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
void WriteBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);

}  // namespace fotolyx::testing
