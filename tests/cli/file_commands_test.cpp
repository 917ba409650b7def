// fotolyx-cli convert, exif, adjust and --simulate, run as a user would run them.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <random>

#include "adjust/adjust_dialog.h"
#include "camsim/picture_maker.h"
#include "cli/cli_processes.h"
#include "ports/memory.h"

namespace fotolyx::testing {
namespace {

struct FileRun {
    int status;
    std::string stdoutText;
    std::string stderrText;
};

// Runs fotolyx-cli in folder with the arguments; the folder's path reads DIR in standard error.
FileRun RunIn(const TempDir& folder, const std::string& arguments) {
    const auto errors = folder / "stderr.txt";
    const auto result =
        RunCommand("cd " + Quote(folder.path()) + " && timeout 120 " +
                   Quote(BinDir() + "/fotolyx-cli") + " " + arguments + " 2>" + Quote(errors));
    std::string text = ReadText(errors);
    std::filesystem::remove(errors);
    for (std::size_t at; (at = text.find(folder.path().string())) != std::string::npos;) {
        text.replace(at, folder.path().string().size(), "DIR");
    }
    return {result.status, result.output, text};
}

// A folder with in.bmp (320 x 240), big.bmp (800 x 600), in.jpg, notes.txt and a named pipe.
void FillFolder(const TempDir& dir) {
    WriteBytes(dir / "in.bmp", MakeBmpFile(320, 240, 24, SmoothColour));
    WriteBytes(dir / "big.bmp", MakeBmpFile(800, 600, 24, SmoothColour));
    WriteBytes(dir / "notes.txt", {'h', 'e', 'l', 'l', 'o', '\n'});
    ASSERT_EQ(::mkfifo((dir / "pipe.jpg").c_str(), 0644), 0);
    ASSERT_EQ(RunIn(dir, "convert in.bmp in.jpg").status, 0);
}

// A success writes its file (size 0: a JPEG with an Exif block); a failure prints its message
// (nullptr: any), exits with 1 (2: a bad command line) and writes nothing.
TEST(FileCommands, ConvertExifAndAdjustWriteTheirFileOrExitNonZeroWritingNothing) {
    const struct {
        const char* arguments;
        int status;
        const char* message;
        const char* output;
        std::size_t size;
    } cases[] = {
        {"convert in.bmp out.jpg", 0, "", "out.jpg", 0},
        {"convert in.bmp out.bmp", 0, "", "out.bmp", 921'654},
        {"convert in.bmp out.bmp --type bmp8", 0, "", "out.bmp", 308'278},
        {"convert --type=jpeg in.bmp picture", 0, "", "picture", 0},
        {"convert in.jpg again.bmp", 0, "", "again.bmp", 921'654},
        {"exif in.jpg in.jpg", 0, "", "in.jpg", 0},
        {"convert big.bmp out.bmp", 0, "ERROR: Part of the image will be cut off.\n", "out.bmp",
         921'654},
        {"convert notes.txt out.jpg", 1, "ERROR: This file type is wrong.\n", nullptr, 0},
        {"convert gone.bmp out.jpg", 1, "ERROR: This file could not be found. \n", nullptr, 0},
        // A missing folder is told as such, not as a full disk; a pipe is refused at once.
        {"convert in.bmp no/such/folder/out.bmp", 1,
         "ERROR: Cannot create DIR/no/such/folder/out.bmp: No such file or directory.\n", nullptr,
         0},
        {"exif in.bmp pipe.jpg", 1,
         "ERROR: Cannot save over pipe.jpg: it is a named pipe, not a regular file.\n", nullptr, 0},
        {"exif notes.txt out.jpg", 1, "Error: This is not a Jpeg file.\n", nullptr, 0},
        {"exif in.bmp out.jpg", 1, "Error: This is not a Jpeg file.\n", nullptr, 0},
        {"convert in.bmp out.png", 2, nullptr, nullptr, 0},
        {"convert in.bmp out.jpg --type gif", 2, nullptr, nullptr, 0},
        {"convert in.bmp", 2, nullptr, nullptr, 0},
        {"exif in.jpg", 2, nullptr, nullptr, 0},
        {"adjust in.bmp", 2, nullptr, nullptr, 0},
        {"adjust in.bmp out.bmp --auto --contrast 3", 2, nullptr, nullptr, 0},
        {"adjust in.bmp out.bmp --brightness 101", 2, nullptr, nullptr, 0},
        {"adjust in.bmp out.bmp --saturation 1x", 2, nullptr, nullptr, 0},
        {"adjust in.bmp out.png --auto", 2, nullptr, nullptr, 0},
        {"adjust missing.bmp out.bmp --auto", 1, nullptr, nullptr, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        TempDir dir;
        FillFolder(dir);
        const FileRun run = RunIn(dir, c.arguments);
        EXPECT_EQ(run.status, c.status) << run.stderrText;
        if (c.message != nullptr) {
            EXPECT_EQ(run.stderrText, c.message);
        }
        if (c.output == nullptr) {
            for (const char* name : {"out.jpg", "out.png", "out.bmp"}) {
                EXPECT_FALSE(std::filesystem::exists(dir / name)) << name;
            }
            continue;
        }
        const Bytes file = ReadBytes(dir / c.output);
        if (c.size != 0) {
            EXPECT_EQ(file.size(), c.size);
        } else {
            ASSERT_GE(file.size(), 4u);
            EXPECT_EQ(Bytes(file.begin(), file.begin() + 4), (Bytes{0xFF, 0xD8, 0xFF, 0xE1}));
        }
    }
}

// The options reach the dialog: the expected picture is what its OK makes of the opened one
// (support/adjust_outcome.h checks the arithmetic independently). No moves: Automatic.
TEST(FileCommands, AdjustSavesWhatTheDialogsOkMakesOfTheOpenedPicture) {
    std::mt19937 random(4);
    std::uniform_int_distribution<int> noise(0, 30);
    DibBlock picture = MakeRgbPicture(640, 480, [&](int x, int y) {
        return Bgr{static_cast<std::uint8_t>(x / 3 + noise(random)),
                   static_cast<std::uint8_t>(y / 2 + noise(random)),
                   static_cast<std::uint8_t>((x + y) / 6 + noise(random))};
    });
    Bytes file(14);  // the file header, then the block as it is
    WriteLe16(file.data(), BMP_TYPE);
    WriteLe32(file.data() + 2, static_cast<std::uint32_t>(14 + picture.size()));
    WriteLe32(file.data() + 10, 14 + INFO_HEADER_SIZE);
    file.insert(file.end(), picture.bytes().begin(), picture.bytes().end());
    const struct {
        const char* options;
        std::vector<int> positions;  // of the four scroll bars
    } cases[] = {
        {"--auto", {}},
        {"--brightness 30 --contrast -37 --saturation 50 --sharpness 20", {30, 65'499, 50, 20}},
    };
    for (const auto& c : cases) {
        TempDir folder;
        WriteBytes(folder / "in.bmp", file);
        ASSERT_EQ(RunIn(folder, std::string("adjust in.bmp out.bmp ") + c.options).status, 0);
        DibBlock expected = picture;
        Memory memory;
        AdjustDialog dialog(memory);
        dialog.Open(&expected);
        for (std::size_t bar = 0; bar < c.positions.size(); ++bar) {
            dialog.HScroll(IDC_ADJUST_FIRST_SCROLL + static_cast<int>(bar), SB_THUMBPOSITION,
                           c.positions[bar]);
        }
        if (c.positions.empty()) {
            dialog.Command(IDC_ADJUST_AUTOMATIC);
        }
        dialog.Command(IDOK);
        const Bytes out = ReadBytes(folder / "out.bmp");
        ASSERT_EQ(out.size(), file.size()) << c.options;
        EXPECT_TRUE(std::equal(out.begin() + 54, out.end(), expected.bytes().begin() + 40))
            << c.options;
    }
}

// --simulate serves a simulated camera for the one command; a folder of JPEG files is its card.
TEST(FileCommands, SimulateServesACameraForOneCommand) {
    TempDir dir;
    WriteBytes(dir / "a.jpg", camsim::MakeSceneJpeg(64, 48, 1, 80));
    WriteBytes(dir / "b.jpg", camsim::MakeSceneJpeg(64, 48, 2, 80));
    ExpectCli("--simulate list", 0, "Total: 3");
    ExpectCli("--simulate=" + Quote(dir.path()) + " list", 0, "Total: 2");
    ExpectCli("--simulate=" + Quote(dir / "missing") + " list", 1, "did not start");
}

}  // namespace
}  // namespace fotolyx::testing
