#include "print/print_job.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace fotolyx {
namespace {

using Log = std::vector<std::string>;

// Records every call; answers from its fields. The pump dispatches pendingEvents events one by
// one and runs onPump (with the pump's 1-based count) for each.
class RecordingPrinter final : public PrintDevice {
  public:
    bool RunPrintDialog() override {
        log.push_back("dialog");
        return dialogAccepted;
    }
    std::int32_t HorzRes() override { return horzRes; }
    std::int32_t VertRes() override { return vertRes; }
    int StartDoc(std::string_view name) override {
        log.push_back("start doc " + std::string(name));
        return startDoc;
    }
    int StartPage() override {
        log.push_back("start page");
        return startPage;
    }
    void DrawPicture(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                     const DibBlock&) override {
        log.push_back("draw " + std::to_string(x) + " " + std::to_string(y) + " " +
                      std::to_string(width) + " " + std::to_string(height));
    }
    int EndPage() override {
        log.push_back("end page");
        return endPage;
    }
    int EndDoc() override {
        log.push_back("end doc");
        return 1;
    }
    void Abort() override { log.push_back("abort"); }
    void SetOwnerEnabled(bool enabled) override {
        ownerEnabled = enabled;
        log.push_back(enabled ? "enable" : "disable");
    }
    void ShowCancelDialog() override {
        cancelDialogUp = true;
        log.push_back("show cancel");
    }
    void DestroyCancelDialog() override {
        cancelDialogUp = false;
        log.push_back("destroy cancel");
    }
    bool PumpEvent() override {
        ++pumps;
        log.push_back("pump");
        if (onPump) {
            onPump(pumps);
        }
        if (pendingEvents > 0) {
            --pendingEvents;
            return true;
        }
        return false;
    }

    bool dialogAccepted = true;
    std::int32_t horzRes = 4800;
    std::int32_t vertRes = 6600;
    int startDoc = 7;
    int startPage = 1;
    int endPage = 1;
    int pendingEvents = 0;
    std::function<void(int)> onPump;

    Log log;
    int pumps = 0;
    bool ownerEnabled = true;
    bool cancelDialogUp = false;
};

DibBlock Picture(std::int32_t width, std::int32_t height, std::uint16_t bitCount = 24) {
    return CreateDib(width, height, bitCount).value();
}

TEST(FitToPage, KeepsTheShapeAndFillsOneSideInIntegerArithmetic) {
    constexpr std::int32_t MAX = std::numeric_limits<std::int32_t>::max();
    struct Case {
        std::int32_t horzRes, vertRes, width, height;
        PrintSize expected;
    };
    const Case cases[] = {
        // 640 x 480 and 480 x 640 on a tall and on a wide page.
        {4800, 6600, 640, 480, {4800, 3600}},
        {6600, 4800, 640, 480, {6400, 4800}},
        {4800, 6600, 480, 640, {4800, 6400}},
        {6600, 4800, 480, 640, {3600, 4800}},
        // Exactly the page's shape; truncation toward zero on either branch.
        {800, 600, 640, 480, {800, 600}},
        {1001, 700, 640, 480, {933, 700}},
        {999, 750, 640, 480, {999, 749}},
        {4800, 6600, 1, 1, {4800, 4800}},
        // A side that would vanish keeps one pixel; products beyond 32 bits.
        {4800, 6600, 32767, 1, {4800, 1}},
        {4800, 6600, 1, 32767, {1, 6600}},
        {MAX, MAX, MAX, 1, {MAX, 1}},
        {MAX - 1, MAX, MAX, MAX, {MAX - 1, MAX - 1}},
        // No area or no picture: nothing.
        {0, 6600, 640, 480, {0, 0}},
        {4800, 6600, 640, -480, {0, 0}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FitToPage(c.horzRes, c.vertRes, c.width, c.height), c.expected)
            << c.horzRes << " x " << c.vertRes << " page, " << c.width << " x " << c.height;
    }
}

TEST(Print, RunsTheStepsWithTheirFailureRulesAndCancel) {
    const Log head = {"dialog", "disable", "show cancel", "start doc Capture 1"};
    auto with = [&](Log middle, Log tail = {"enable", "destroy cancel"}) {
        Log all = head;
        all.insert(all.end(), middle.begin(), middle.end());
        all.insert(all.end(), tail.begin(), tail.end());
        return all;
    };
    auto cancelAt = [](int at) {
        return [at](RecordingPrinter& p, PrintState& state) {
            p.onPump = [&p, &state, at](int pump) {
                if (pump == at) {
                    CancelDialogCommand(p, state);
                    CancelDialogCommand(p, state);  // a second click finds no dialog
                }
            };
        };
    };
    struct Case {
        const char* name;
        std::function<void(RecordingPrinter&, PrintState&)> setUp;
        int result;
        Log expected;
        int aborted = 0;
    };
    const Case cases[] = {
        {"one page", [](RecordingPrinter&, PrintState&) {}, 0,
         with({"pump", "start page", "draw 0 0 4800 3600", "pump", "end page", "end doc"})},
        {"print dialog cancelled",
         [](RecordingPrinter& p, PrintState&) { p.dialogAccepted = false; },
         1,
         {"dialog"}},
        {"no printable area",
         [](RecordingPrinter& p, PrintState&) { p.vertRes = 0; },
         0,
         {"dialog"}},
        {"no job number", [](RecordingPrinter& p, PrintState&) { p.startDoc = 0; }, 0, with({})},
        {"StartDoc failing", [](RecordingPrinter& p, PrintState&) { p.startDoc = -1; }, 0,
         with({})},
        {"StartPage failing", [](RecordingPrinter& p, PrintState&) { p.startPage = 0; }, 0,
         with({"pump", "start page", "end doc"})},
        {"EndPage failing: the job is abandoned, not ended",
         [](RecordingPrinter& p, PrintState&) { p.endPage = -1; }, 0,
         with({"pump", "start page", "draw 0 0 4800 3600", "pump", "end page", "abort"})},
        {"EndPage giving 0", [](RecordingPrinter& p, PrintState&) { p.endPage = 0; }, 0,
         with({"pump", "start page", "draw 0 0 4800 3600", "pump", "end page", "end doc"})},
        // Cancel enables the owner and removes the dialog at once, then the job is abandoned.
        {"cancelled before the page", cancelAt(1), 0,
         with({"pump", "enable", "destroy cancel", "abort"}, {}), 1},
        {"cancelled after the drawing", cancelAt(2), 0,
         with({"pump", "start page", "draw 0 0 4800 3600", "pump", "enable", "destroy cancel",
               "abort"},
              {}),
         1},
    };
    for (const Case& c : cases) {
        RecordingPrinter printer;
        PrintState state;
        c.setUp(printer, state);
        EXPECT_EQ(Print(printer, state, "Capture 1", Picture(640, 480)), c.result) << c.name;
        EXPECT_EQ(printer.log, c.expected) << c.name;
        EXPECT_TRUE(printer.ownerEnabled) << c.name;
        EXPECT_FALSE(printer.cancelDialogUp) << c.name;
        EXPECT_EQ(state.PrintAborted, c.aborted) << c.name;
        EXPECT_FALSE(state.AbortDialog) << c.name;
    }
}

TEST(Print, APictureThatIsNotAWholeTwentyFourBitBitmapShowsNothing) {
    DibBlock cutShort = Picture(640, 480);
    cutShort.storage().resize(cutShort.size() - 1);
    DibBlock bitfields = Picture(8, 8);
    bitfields.data()[16] = 3;
    DibBlock topDown = Picture(8, 8);
    WriteLe32(topDown.data() + 8, static_cast<std::uint32_t>(-8));
    const DibBlock pictures[] = {DibBlock(),       DibBlock(std::vector<std::uint8_t>(40, 0)),
                                 Picture(8, 8, 8), cutShort,
                                 bitfields,        topDown};
    RecordingPrinter printer;
    PrintState state;
    for (const DibBlock& picture : pictures) {
        EXPECT_EQ(Print(printer, state, "Openfile", picture), 0);
    }
    EXPECT_TRUE(printer.log.empty());
    EXPECT_TRUE(PictureIsPrintable(Picture(1, 1)));
}

TEST(AbortProc, DispatchesWaitingEventsUntilNoneIsLeftOrTheJobIsCancelled) {
    struct Case {
        const char* name;
        int alreadyAborted;
        int pendingEvents;
        int cancelAtPump;
        bool answer;
        int pumps;
    };
    const Case cases[] = {
        {"nothing waiting", 0, 0, 0, true, 1},
        {"three events waiting", 0, 3, 0, true, 4},
        {"cancelled by the second event", 0, 5, 2, false, 2},
        {"cancelled before", 1, 5, 0, false, 0},
    };
    for (const Case& c : cases) {
        RecordingPrinter printer;
        PrintState state;
        state.PrintAborted = c.alreadyAborted;
        state.AbortDialog = c.alreadyAborted == 0;
        printer.pendingEvents = c.pendingEvents;
        printer.onPump = [&](int pump) {
            if (pump == c.cancelAtPump) {
                CancelDialogCommand(printer, state);
            }
        };
        EXPECT_EQ(AbortProc(printer, state), c.answer) << c.name;
        EXPECT_EQ(printer.pumps, c.pumps) << c.name;
    }
}

}  // namespace
}  // namespace fotolyx
