// fotolyx-cli convert, exif, adjust and --simulate, run as a user would run them.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "camsim/picture_maker.h"
#include "cli/cli_processes.h"

namespace fotolyx::testing {
namespace {

// Runs fotolyx-cli in folder with the arguments; the folder's path reads DIR in its output.
CommandResult RunIn(const TempDir& folder, const std::string& arguments) {
    CommandResult run = RunCommand("cd " + Quote(folder.path()) + " && timeout 120 " +
                                   Quote(BinDir() + "/fotolyx-cli") + " " + arguments + " 2>&1");
    for (std::size_t at; (at = run.output.find(folder.path().string())) != std::string::npos;) {
        run.output.replace(at, folder.path().string().size(), "DIR");
    }
    return run;
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
        {"convert --type=bmp8 in.bmp out.bmp", 0, "", "out.bmp", 308'278},
        {"exif in.jpg in.jpg", 0, "", "in.jpg", 0},
        {"convert big.bmp out.bmp", 0, "ERROR: Part of the image will be cut off.\n", "out.bmp",
         921'654},
        {"convert notes.txt out.jpg", 1, "ERROR: This file type is wrong.\n", nullptr, 0},
        {"convert gone.bmp out.jpg", 1, "ERROR: This file could not be found. \n", nullptr, 0},
        {"convert in.bmp no/such/folder/out.bmp", 1,
         "ERROR: Cannot create DIR/no/such/folder/out.bmp: No such file or directory.\n", nullptr,
         0},
        {"exif in.bmp pipe.jpg", 1,
         "ERROR: Cannot save over pipe.jpg: it is a named pipe, not a regular file.\n", nullptr, 0},
        {"exif in.bmp out.jpg", 1, "Error: This is not a Jpeg file.\n", nullptr, 0},
        {"convert in.bmp out.png", 2, nullptr, nullptr, 0},
        {"convert in.bmp", 2, nullptr, nullptr, 0},
        {"adjust in.bmp", 2, nullptr, nullptr, 0},
        {"adjust in.bmp out.bmp --auto --contrast 3", 2, nullptr, nullptr, 0},
        {"adjust in.bmp out.bmp --brightness 101", 2, nullptr, nullptr, 0},
        {"adjust missing.bmp out.bmp --auto", 1, nullptr, nullptr, 0},
        {"adjust in.bmp out.bmp --auto", 0, "", "out.bmp", 921'654},
        {"adjust in.bmp out.bmp --brightness 30 --contrast -37 --saturation 50 --sharpness 20", 0,
         "", "out.bmp", 921'654},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        TempDir dir;
        FillFolder(dir);
        const CommandResult run = RunIn(dir, c.arguments);
        EXPECT_EQ(run.status, c.status) << run.output;
        if (c.message != nullptr) {
            EXPECT_EQ(run.output, c.message);
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
