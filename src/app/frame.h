#pragma once

#include <vector>

#include "ports/shell.h"

namespace fotolyx {

class SerialLine;
struct LiveState;
class LiveImageWindow;

// The frame's own command: close every child that agrees (no menu item).
inline constexpr int CMD_CLOSE_ALL = 33;

inline constexpr char TEXT_EXIT_QUESTION[] = "Exit Fotolyx?";
inline constexpr char TEXT_ERASE_QUESTION[] = "Delete all Flash memory?";
inline constexpr char CAPTION_ALL_ERASE[] = "ALL ERASE";

// The Preview and the Live image window stay until the program exits.
bool IsPermanentWindow(WindowId window);

// The child windows as the host shows them, and the frame's dialogs, which only a host with a
// display has.
class FrameWindows {
  public:
    virtual ~FrameWindows() = default;
    // The open children, in the order the host lists them.
    virtual std::vector<WindowId> Children() const = 0;
    // A minimised child is shown normally before anything is asked of it.
    virtual void Restore(WindowId window) = 0;
    // Asks the child whether it may close (a picture window may ask to save first).
    virtual bool QueryClose(WindowId window) = 0;
    // Closes the child without asking again.
    virtual void CloseAgreed(WindowId window) = 0;
    // A command the frame does not take goes to the active child.
    virtual void ActiveChildCommand(int command) = 0;
    // The frame closes itself the way the user's close box does (which ends in Frame::Close).
    virtual void CloseFrame() = 0;
    virtual void ShowOpenDialog() = 0;
    virtual void ShowComSetup() = 0;
    virtual void ShowHelp() = 0;
    virtual void ShowAbout() = 0;
};

// The frame's rules: its own commands, the order in which children close, and the exit, which
// lets the permanent windows go only once the user has confirmed it.
class Frame {
  public:
    Frame(Shell& shell, SerialLine& line, const LiveState& live, LiveImageWindow& liveWindow)
        : shell_(shell), line_(line), live_(live), liveWindow_(liveWindow) {}

    // The frame's own commands first, then the active child's.
    void Command(int command, FrameWindows& windows);

    // Closes the picture windows that agree and, when keepPermanent is false and every one of
    // them agreed, the permanent ones (which go only once the exit is confirmed). False when a
    // window stays.
    bool CloseChildren(bool keepPermanent, FrameWindows& windows);

    // The frame is asked to close: a running live view stops, the user confirms, every child
    // closes. True when the frame may go; a child that stays keeps the program and the next
    // exit asks again.
    bool Close(FrameWindows& windows);

    bool ExitConfirmed() const { return exitConfirmed_; }

  private:
    Shell& shell_;
    SerialLine& line_;
    const LiveState& live_;
    LiveImageWindow& liveWindow_;
    bool exitConfirmed_ = false;
};

}  // namespace fotolyx
