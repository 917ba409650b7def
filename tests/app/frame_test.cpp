#include "app/frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/program.h"
#include "support/program_world.h"

namespace fotolyx {
namespace {

// The host's windows as the frame sees them; picture windows answer the close question as told.
struct FakeWindows final : FrameWindows {
    std::vector<WindowId> open{LIVE_IMAGE_WINDOW, PREVIEW_WINDOW};
    std::vector<WindowId> refusing;
    std::vector<WindowId> asked, closed, restored;
    std::vector<std::string> shown;
    Frame* frame = nullptr;
    std::vector<WindowId> Children() const override { return open; }
    void Restore(WindowId window) override { restored.push_back(window); }
    bool QueryClose(WindowId window) override {
        asked.push_back(window);
        return std::find(refusing.begin(), refusing.end(), window) == refusing.end();
    }
    void CloseAgreed(WindowId window) override {
        closed.push_back(window);
        std::erase(open, window);
    }
    void ActiveChildCommand(int command) override { shown.push_back(std::to_string(command)); }
    void CloseFrame() override { shown.push_back(frame->Close(*this) ? "closed" : "stays"); }
    void ShowOpenDialog() override { shown.push_back("open"); }
    void ShowComSetup() override { shown.push_back("com"); }
    void ShowHelp() override { shown.push_back("help"); }
    void ShowAbout() override { shown.push_back("about"); }
};

struct FrameRun : testing::StartedWorld {
    FakeWindows windows;
    FrameRun() { windows.frame = &program.frame; }
    // The one message shown: caption, text and style.
    std::tuple<std::string, std::string, unsigned> Message() const {
        EXPECT_EQ(shell.messages.size(), 1u);
        const auto& m = shell.messages.at(0);
        return {m.caption, m.text, m.style};
    }
};

TEST(Frame, CommandsGoToTheFrameFirstAndTheRestToTheActiveChild) {
    const struct {
        int command;
        std::vector<std::string> shown;
    } rows[] = {
        {40001, {"open"}},  {40007, {"com"}},   {40011, {"help"}},
        {40012, {"about"}}, {40003, {"40003"}}, {40010, {"40010"}},
        {34, {"34"}},       {40002, {"stays"}},  // the exit question is answered Cancel
    };
    for (const auto& row : rows) {
        FrameRun run;
        run.shell.scriptedAnswers = {IDCANCEL};
        run.program.frame.Command(row.command, run.windows);
        EXPECT_EQ(run.windows.shown, row.shown) << row.command;
        EXPECT_TRUE(run.windows.closed.empty()) << row.command;
    }
}

TEST(Frame, FlashAllEraseWritesItsOneByteOnlyAfterOk) {
    for (const int answer : {IDCANCEL, IDOK}) {
        FrameRun run;
        run.shell.scriptedAnswers = {answer};
        run.program.frame.Command(40008, run.windows);
        EXPECT_EQ(run.Message(), std::tuple("ALL ERASE", "Delete all Flash memory?",
                                            0x21u));  // OK/Cancel, question mark
        EXPECT_EQ(run.line.written,
                  answer == IDOK ? std::vector<std::uint8_t>{0xEA} : std::vector<std::uint8_t>{});
    }
}

TEST(Frame, CloseImageAndCloseAllLeaveThePermanentWindowsUntilTheExit) {
    for (const int command : {40015, 33}) {
        FrameRun run;
        run.windows.open = {LIVE_IMAGE_WINDOW, 300, PREVIEW_WINDOW, 301};
        run.program.frame.Command(command, run.windows);
        EXPECT_EQ(run.windows.closed, (std::vector<WindowId>{300, 301})) << command;
        EXPECT_EQ(run.windows.open, (std::vector<WindowId>{LIVE_IMAGE_WINDOW, PREVIEW_WINDOW}));
        EXPECT_TRUE(run.shell.messages.empty());
    }
}

TEST(Frame, ExitStopsLiveViewAsksAndOnlyAConfirmedExitClosesThePermanentWindows) {
    for (const int answer : {IDCANCEL, IDOK}) {
        FrameRun run;
        run.windows.open = {LIVE_IMAGE_WINDOW, PREVIEW_WINDOW, 300};
        run.shell.scriptedAnswers = {answer};
        run.program.liveWindow.ButtonNotify(LIVE_BUTTON_PREVIEW, true);
        EXPECT_FALSE(run.program.liveWindow.Close());
        EXPECT_EQ(run.program.frame.Close(run.windows), answer == IDOK);
        EXPECT_EQ(run.Message(), std::tuple("Fotolyx", "Exit Fotolyx?", 0x31u));
        EXPECT_EQ(run.program.live.LiveViewRunning, 0);  // stopped before asking
        EXPECT_EQ(run.program.frame.ExitConfirmed(), answer == IDOK);
        // The Live image window may go once the exit is confirmed, and not before.
        EXPECT_EQ(run.program.liveWindow.Close(), answer == IDOK);
        if (answer == IDOK) {
            // Picture windows first, then the permanent ones.
            EXPECT_EQ(run.windows.closed,
                      (std::vector<WindowId>{300, LIVE_IMAGE_WINDOW, PREVIEW_WINDOW}));
        } else {
            EXPECT_TRUE(run.windows.closed.empty());
        }
    }
}

TEST(Frame, AWindowThatRefusesKeepsTheProgramAndTheNextExitAsksAgain) {
    FrameRun run;
    run.windows.open = {LIVE_IMAGE_WINDOW, PREVIEW_WINDOW, 300, 301};
    run.windows.refusing = {300};
    run.shell.scriptedAnswers = {IDOK, IDOK};
    EXPECT_FALSE(run.program.frame.Close(run.windows));
    EXPECT_FALSE(run.program.frame.ExitConfirmed());
    EXPECT_EQ(run.windows.closed, std::vector<WindowId>{301});
    EXPECT_TRUE(std::filesystem::exists(run.program.scratch.ScratchFileA));
    EXPECT_FALSE(run.program.frame.Close(run.windows));
    EXPECT_EQ(run.shell.messages.size(), 2u);
    EXPECT_EQ(run.windows.asked, (std::vector<WindowId>{300, 301, 300}));
}

}  // namespace
}  // namespace fotolyx
