#include "windows/open_preview.h"

#include <gtest/gtest.h>

#include "imaging/bmp_file.h"
#include "imaging/jpeg_codec.h"
#include "support/fakes.h"
#include "support/picture_files.h"

namespace fotolyx {
namespace {

using testing::Bgr;
using testing::Bytes;
using testing::FailingMemory;
using testing::MakeBmpFile;
using testing::PixelAt;
using testing::RecordingShell;
using testing::TempDir;
using testing::WriteBytes;

constexpr Bgr RED{0, 0, 255};
constexpr Bgr BLUE{255, 0, 0};

TEST(OpenPreviewFit, FitsIntoTheSquareAlongTheLongerSide) {
    const std::tuple<std::int64_t, std::int64_t, std::optional<PreviewFit>> cases[] = {
        {480, 640, PreviewFit{35, 40, 90, 120}},
        {321, 240, PreviewFit{20, 55, 120, 89}},
        {2147483647, 1, PreviewFit{20, 100, 120, 0}},

        {0, 5, std::nullopt},
        {640, -480, std::nullopt}};
    for (const auto& [width, height, fit] : cases) {
        EXPECT_EQ(FitPreview(width, height), fit) << width << " x " << height;
    }
}

struct PreviewWorld {
    TempDir dir;
    RecordingShell shell;
    FailingMemory memory;
    JpegState jpeg;
    bool previewEnabled = false;
    std::optional<LogPalette> screenPalette;
    std::optional<LogPalette> displayPalette;
    bool trueColour = true;
    OpenDialogState state;
    OpenPreview Make() {
        return OpenPreview(state,
                           OpenPreviewPorts{shell, memory, jpeg, dir / "scratchA", previewEnabled,
                                            trueColour, screenPalette, displayPalette});
    }
    std::string Write(const std::string& name, const Bytes& bytes) {
        WriteBytes(dir / name, bytes);
        return (dir / name).string();
    }
};

// Left half red, right half blue: sampling shows which columns it kept.
Bytes HalvesBmp(std::int32_t width, std::int32_t height) {
    return MakeBmpFile(width, height, 24, [width](std::int32_t x, std::int32_t) {
        return x < width / 2 ? RED : BLUE;
    });
}

TEST(OpenPreview, ReadsEachKindOfFileAndChecksEveryNumberInIt) {
    const std::vector<Bgr> table = {RED, BLUE};
    const auto red = [](std::int32_t, std::int32_t) { return RED; };
    Bytes pixelsInTable = MakeBmpFile(
        4, 4, 8, nullptr, [](std::int32_t x, std::int32_t) { return x < 2 ? 0 : 1; }, table);
    WriteLe32(pixelsInTable.data() + 10, 54);  // rows said to start inside the colour table
    const Bytes twoColours = MakeBmpFile(
        4, 8, 8, nullptr, [](std::int32_t x, std::int32_t) { return x < 2 ? 0 : 1; }, table);
    // Every drawn preview shows the picture's red left half at its bottom-left pixel.
    const struct {
        const char* name;
        Bytes bytes;
        const char* width;  // empty: nothing was loaded
        const char* height;
        std::optional<PreviewFit> drawn;
        const char* message;  // nullptr: none
    } cases[] = {
        {"24-bit", HalvesBmp(64, 32), "64", "32", PreviewFit{20, 70, 120, 60}, nullptr},
        {"124-byte header", MakeBmpFile(64, 32, 24, red, nullptr, {}, 124), "64", "32",
         PreviewFit{20, 70, 120, 60}, nullptr},
        {"8-bit, two-colour table", twoColours, "4", "8", PreviewFit{50, 40, 60, 120}, nullptr},
        {"rows inside the colour table", pixelsInTable, "4", "4", std::nullopt, nullptr},
        {"text", Bytes{'h', 'e', 'l', 'l', 'o'}, "", "", std::nullopt, nullptr},
        {"JPEG that does not decode", Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0, 0}, "", "", std::nullopt,
         "This file type is wrong."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PreviewWorld world;
        world.previewEnabled = true;
        OpenPreview preview = world.Make();
        ASSERT_TRUE(preview.InitDialog());
        EXPECT_EQ(preview.SelectionChanged(world.Write("file", c.bytes)), *c.width != '\0');
        EXPECT_EQ(std::tuple(preview.WidthText(), preview.HeightText()),
                  std::tuple(c.width, c.height));
        const std::optional<PreviewPaint> paint = preview.Paint();
        ASSERT_EQ(paint.has_value(), c.drawn.has_value());
        if (paint) {
            EXPECT_EQ(paint->place, *c.drawn);
            EXPECT_EQ(PixelAt(paint->picture, 0, 0), RED);
        }
        EXPECT_EQ(world.shell.messages.empty() ? "" : world.shell.messages[0].text,
                  c.message ? c.message : "");
    }
}

TEST(OpenPreview, SamplesColumnsAndRowsOfAJpeg) {
    PreviewWorld world;
    world.previewEnabled = true;
    const std::string bmp = world.Write("halves.bmp", HalvesBmp(300, 200));
    const std::string jpeg = (world.dir / "halves.jpg").string();
    ASSERT_EQ(CompressBmpToJpeg(world.jpeg, bmp, jpeg, "2x1,1x1,1x1", 95), 1);
    OpenPreview preview = world.Make();
    preview.InitDialog();
    ASSERT_TRUE(preview.SelectionChanged(jpeg));
    const std::optional<PreviewPaint> paint = preview.Paint();
    ASSERT_TRUE(paint);
    EXPECT_EQ(paint->place, (PreviewFit{20, 60, 120, 80}));
    for (const int y : {0, 79}) {
        const Bgr left = PixelAt(paint->picture, 10, y);
        const Bgr right = PixelAt(paint->picture, 110, y);
        EXPECT_TRUE(left[2] > 200 && left[0] < 60 && right[0] > 200 && right[2] < 60) << y;
    }
}

TEST(OpenPreview, FollowsTheBoxAndTheSelection) {
    PreviewWorld world;
    const std::string first = world.Write("first.bmp", HalvesBmp(40, 20));
    const std::string second = world.Write("second.bmp", HalvesBmp(20, 40));
    const std::string text = world.Write("notes.txt", Bytes{'n', 'o', 't', 'e'});
    OpenPreview preview = world.Make();
    EXPECT_FALSE(preview.InitDialog());
    EXPECT_FALSE(preview.SelectionChanged(first));  // off: a selection reads nothing
    EXPECT_TRUE(preview.PreviewClicked(true, first));
    EXPECT_EQ(preview.WidthText(), "40");
    // A file that is no picture, a folder and a missing name keep the last preview.
    EXPECT_FALSE(preview.SelectionChanged(text));
    EXPECT_FALSE(preview.SelectionChanged(world.dir.path().string()));
    EXPECT_FALSE(preview.SelectionChanged((world.dir / "gone.bmp").string()));
    EXPECT_FALSE(preview.SelectionChanged(""));
    EXPECT_EQ(world.state.LastPreviewPath, first);
    EXPECT_TRUE(preview.SelectionChanged(second));
    EXPECT_EQ(preview.HeightText(), "40");
    EXPECT_EQ(preview.Paint()->place, (PreviewFit{50, 40, 60, 120}));
    // Off again: the fields empty, nothing drawn.
    EXPECT_TRUE(preview.PreviewClicked(false, second));
    EXPECT_FALSE(world.previewEnabled);
    EXPECT_EQ(preview.WidthText() + preview.HeightText(), "");
    EXPECT_FALSE(preview.Paint());
}

}  // namespace
}  // namespace fotolyx
