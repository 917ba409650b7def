#include "print/print_job.h"

#include <gtest/gtest.h>

#include <array>
#include <limits>
#include <string>
#include <vector>

namespace fotolyx {
namespace {

// What the printer answers, by kind. The pump dispatches PENDING events one by one; with
// CANCEL_AT set, that pump (1-based) clicks Cancel twice, the second finding no dialog.
enum Answer { DIALOG, VERT_RES, START_DOC, START_PAGE, END_PAGE, PENDING, CANCEL_AT, ANSWERS };
using Changes = std::vector<std::pair<Answer, int>>;

class RecordingPrinter final : public PrintDevice {
  public:
    explicit RecordingPrinter(const Changes& changes = {}) {
        for (const auto& [answer, value] : changes) {
            answers[answer] = value;
        }
    }
    bool RunPrintDialog() override { return Note("dialog", answers[DIALOG]); }
    std::int32_t HorzRes() override { return 4800; }
    std::int32_t VertRes() override { return answers[VERT_RES]; }
    int StartDoc(std::string_view name) override {
        return Note("start doc " + std::string(name), answers[START_DOC]);
    }
    int StartPage() override { return Note("start page", answers[START_PAGE]); }
    void DrawPicture(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                     const DibBlock&) override {
        Note("draw " + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(width) +
             " " + std::to_string(height));
    }
    int EndPage() override { return Note("end page", answers[END_PAGE]); }
    int EndDoc() override { return Note("end doc"); }
    void Abort() override { Note("abort"); }
    void SetOwnerEnabled(bool enabled) override {
        ownerEnabled = Note(enabled ? "enable" : "disable", enabled);
    }
    void ShowCancelDialog() override { cancelDialogUp = Note("show cancel", true); }
    void DestroyCancelDialog() override { cancelDialogUp = Note("destroy cancel", false); }
    bool PumpEvent() override {
        Note("pump");
        if (++pumps == answers[CANCEL_AT]) {
            CancelDialogCommand(*this, state);
            CancelDialogCommand(*this, state);
        }
        return answers[PENDING]-- > 0;
    }
    int Note(const std::string& entry, int result = 1) {
        log += entry + "; ";
        return result;
    }

    std::array<int, ANSWERS> answers = {1, 6600, 7, 1, 1, 0, 0};
    std::string log;
    int pumps = 0;
    bool ownerEnabled = true, cancelDialogUp = false;
    PrintState state;
};

DibBlock Picture(std::int32_t width, std::int32_t height, std::uint16_t bitCount = 24) {
    return CreateDib(width, height, bitCount).value();
}

TEST(FitToPage, KeepsTheShapeAndFillsOneSideInIntegerArithmetic) {
    constexpr std::int32_t MAX = std::numeric_limits<std::int32_t>::max();
    const struct {
        std::int32_t horzRes, vertRes, width, height, outWidth, outHeight;
    } cases[] = {
        // Tall and wide pages and pictures; the page's shape; truncation toward zero on either
        // branch; a side that would vanish keeps one pixel; products beyond 32 bits; no area.
        {4800, 6600, 640, 480, 4800, 3600}, {6600, 4800, 640, 480, 6400, 4800},
        {4800, 6600, 480, 640, 4800, 6400}, {6600, 4800, 480, 640, 3600, 4800},
        {800, 600, 640, 480, 800, 600},     {1001, 700, 640, 480, 933, 700},
        {999, 750, 640, 480, 999, 749},     {4800, 6600, 1, 1, 4800, 4800},
        {4800, 6600, 32767, 1, 4800, 1},    {4800, 6600, 1, 32767, 1, 6600},
        {MAX, MAX, MAX, 1, MAX, 1},         {MAX - 1, MAX, MAX, MAX, MAX - 1, MAX - 1},
        {0, 6600, 640, 480, 0, 0},          {4800, 6600, 640, -480, 0, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FitToPage(c.horzRes, c.vertRes, c.width, c.height),
                  (PrintSize{c.outWidth, c.outHeight}))
            << c.horzRes << " x " << c.vertRes << " page, " << c.width << " x " << c.height;
    }
}

TEST(Print, RunsTheStepsWithTheirFailureRulesAndCancel) {
    const std::string head = "dialog; disable; show cancel; start doc Capture 1; ";
    const std::string page = "pump; start page; draw 0 0 4800 3600; pump; ";
    const std::string done = "end page; end doc; ";
    const std::string end = "enable; destroy cancel; ";
    const std::string abandoned = end + "abort; ";
    const struct {
        const char* name;
        Changes changes;
        int result;
        std::string expected;
    } cases[] = {
        {"one page", {}, 0, head + page + done + end},
        {"print dialog cancelled", {{DIALOG, 0}}, 1, "dialog; "},
        {"no printable area", {{VERT_RES, 0}}, 0, "dialog; "},
        {"no job number", {{START_DOC, 0}}, 0, head + end},
        {"StartDoc failing", {{START_DOC, -1}}, 0, head + end},
        {"StartPage failing", {{START_PAGE, 0}}, 0, head + "pump; start page; end doc; " + end},
        {"EndPage failing", {{END_PAGE, -1}}, 0, head + page + "end page; abort; " + end},
        {"EndPage giving 0", {{END_PAGE, 0}}, 0, head + page + done + end},
        // Cancel enables the owner and removes the dialog at once, then the job is abandoned.
        {"cancelled before the page", {{CANCEL_AT, 1}}, 0, head + "pump; " + abandoned},
        {"cancelled after the drawing", {{CANCEL_AT, 2}}, 0, head + page + abandoned},
        // Waiting events are dispatched until none is left or the job is cancelled.
        {"three events", {{PENDING, 3}}, 0, head + "pump; pump; pump; " + page + done + end},
        {"amid events", {{PENDING, 5}, {CANCEL_AT, 2}}, 0, head + "pump; pump; " + abandoned},
    };
    for (const auto& c : cases) {
        RecordingPrinter printer(c.changes);
        EXPECT_EQ(Print(printer, printer.state, "Capture 1", Picture(640, 480)), c.result)
            << c.name;
        EXPECT_EQ(printer.log, c.expected) << c.name;
        EXPECT_TRUE(printer.ownerEnabled && !printer.cancelDialogUp && !printer.state.AbortDialog)
            << c.name;
        EXPECT_EQ(printer.state.PrintAborted, printer.answers[CANCEL_AT] > 0 ? 1 : 0) << c.name;
    }
    RecordingPrinter cancelled({{PENDING, 5}});
    cancelled.state.PrintAborted = 1;  // a job cancelled before dispatches nothing
    EXPECT_FALSE(AbortProc(cancelled, cancelled.state));
    EXPECT_EQ(cancelled.pumps, 0);
}

TEST(Print, APictureThatIsNotAWholeTwentyFourBitBitmapShowsNothing) {
    DibBlock cutShort = Picture(640, 480);
    cutShort.storage().resize(cutShort.size() - 1);
    DibBlock bitfields = Picture(8, 8);
    bitfields.data()[16] = 3;
    DibBlock topDown = Picture(8, 8);
    WriteLe32(topDown.data() + 8, static_cast<std::uint32_t>(-8));
    RecordingPrinter printer;
    for (const DibBlock& picture : {DibBlock(), DibBlock(std::vector<std::uint8_t>(40, 0)),
                                    Picture(8, 8, 8), cutShort, bitfields, topDown}) {
        EXPECT_EQ(Print(printer, printer.state, "Openfile", picture), 0);
    }
    EXPECT_TRUE(printer.log.empty());
    EXPECT_TRUE(PictureIsPrintable(Picture(1, 1)));
}

}  // namespace
}  // namespace fotolyx
