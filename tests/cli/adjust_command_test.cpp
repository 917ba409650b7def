// fotolyx-cli adjust, run as a user runs it: the saved picture must be exactly what the
// Image Adjustment dialog's OK makes of the opened picture.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>

#include "adjust/adjust_dialog.h"
#include "ports/memory.h"
#include "support/fakes.h"
#include "support/processes.h"
#include "support/rgb_pictures.h"

namespace fotolyx {
namespace {

using testing::TempDir;

int RunCli(const std::string& arguments) {
    return testing::RunCommand(testing::BinDir() + "/fotolyx-cli " + arguments + " >/dev/null 2>&1")
        .status;
}

// A BMP file of the picture block: the 14-byte file header, then the block as it is.
void WriteBmp(const std::filesystem::path& path, const DibBlock& picture) {
    std::vector<std::uint8_t> file(14);
    WriteLe16(file.data(), BMP_TYPE);
    WriteLe32(file.data() + 2, static_cast<std::uint32_t>(14 + picture.size()));
    WriteLe32(file.data() + 10, 14 + INFO_HEADER_SIZE);
    file.insert(file.end(), picture.bytes().begin(), picture.bytes().end());
    testing::WriteBytes(path, file);
}

// The pixel rows of a 640 x 480 24-bit BMP file.
std::vector<std::uint8_t> Rows(const std::vector<std::uint8_t>& file) {
    const std::size_t offset = file.size() >= 14 ? ReadLe32(file.data() + 10) : file.size();
    const std::size_t end = std::min(file.size(), offset + 640 * 480 * 3);
    return {file.begin() + static_cast<std::ptrdiff_t>(std::min(offset, end)),
            file.begin() + static_cast<std::ptrdiff_t>(end)};
}

std::vector<std::uint8_t> ThroughTheDialog(DibBlock picture,
                                           const std::function<void(AdjustDialog&)>& steps) {
    Memory memory;
    AdjustDialog dialog(memory);
    dialog.Open(&picture);
    steps(dialog);
    dialog.Command(IDOK);
    return {picture.bytes().begin() + 40, picture.bytes().end()};
}

// A wiring check: the expected picture comes from the program's own dialog logic (see
// support/adjust_outcome.h for where the arithmetic is checked independently).
TEST(CliAdjust, SavesWhatTheDialogsOkMakesOfTheOpenedPicture) {
    std::mt19937 random(4);
    std::uniform_int_distribution<int> noise(0, 30);
    const DibBlock picture = testing::MakeRgbPicture(640, 480, [&](int x, int y) {
        return testing::Bgr{static_cast<std::uint8_t>(x / 3 + noise(random)),
                            static_cast<std::uint8_t>(y / 2 + noise(random)),
                            static_cast<std::uint8_t>((x + y) / 6 + noise(random))};
    });
    const struct {
        const char* name;
        std::string options;
        std::function<void(AdjustDialog&)> steps;
    } cases[] = {
        {"automatic", "--auto", [](AdjustDialog& d) { d.Command(IDC_ADJUST_AUTOMATIC); }},
        {"by hand", "--brightness 30 --contrast -37 --saturation 50 --sharpness 20",
         [](AdjustDialog& d) {
             d.HScroll(IDC_ADJUST_FIRST_SCROLL, SB_THUMBPOSITION, 30);
             d.HScroll(IDC_ADJUST_FIRST_SCROLL + 1, SB_THUMBPOSITION, 65'499);
             d.HScroll(IDC_ADJUST_FIRST_SCROLL + 2, SB_THUMBPOSITION, 50);
             d.HScroll(IDC_ADJUST_FIRST_SCROLL + 3, SB_THUMBPOSITION, 20);
         }},
    };
    for (const auto& c : cases) {
        TempDir folder;
        WriteBmp(folder / "in.bmp", picture);
        const auto out = folder / "out.bmp";
        ASSERT_EQ(
            RunCli("adjust " + (folder / "in.bmp").string() + " " + out.string() + " " + c.options),
            0)
            << c.name;
        EXPECT_EQ(Rows(testing::ReadBytes(out)), ThroughTheDialog(picture, c.steps)) << c.name;
    }
}

TEST(CliAdjust, WrongArgumentsWriteNothing) {
    const char* cases[] = {
        "in.bmp",
        "in.bmp out.bmp --auto --contrast 3",
        "in.bmp out.bmp --brightness 101",
        "in.bmp out.bmp --saturation 1x",
        "in.bmp out.png --auto",
    };
    for (const char* arguments : cases) {
        TempDir folder;
        WriteBmp(folder / "in.bmp",
                 testing::MakeRgbPicture(640, 480, [](int, int) { return testing::Grey(50); }));
        const std::filesystem::path current = std::filesystem::current_path();
        std::filesystem::current_path(folder.path());
        EXPECT_EQ(RunCli(std::string("adjust ") + arguments), 2) << arguments;
        std::filesystem::current_path(current);
        EXPECT_FALSE(std::filesystem::exists(folder / "out.bmp")) << arguments;
        EXPECT_FALSE(std::filesystem::exists(folder / "out.png")) << arguments;
    }
    TempDir folder;
    EXPECT_EQ(RunCli("adjust " + (folder / "missing.bmp").string() + " " +
                     (folder / "out.bmp").string() + " --auto"),
              1);
    EXPECT_FALSE(std::filesystem::exists(folder / "out.bmp"));
}

}  // namespace
}  // namespace fotolyx
