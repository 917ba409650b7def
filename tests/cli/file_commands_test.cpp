// fotolyx-cli convert and exif, run as a user would run them.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>

#include "support/camsim_process.h"
#include "support/fakes.h"
#include "support/picture_files.h"

namespace fotolyx {
namespace {

using testing::Bytes;
using testing::MakeBmpFile;
using testing::Quote;
using testing::ReadBytes;
using testing::RunCommand;
using testing::SmoothColour;
using testing::TempDir;
using testing::WriteBytes;

struct CliRun {
    int status;
    std::string stdoutText;
    std::string stderrText;
};

// Runs fotolyx-cli in folder with the arguments (already quoted where needed).
CliRun RunCli(const TempDir& folder, const std::string& arguments) {
    const auto errors = folder / "stderr.txt";
    const auto result = RunCommand("cd " + Quote(folder.path()) + " && timeout 120 " +
                                   Quote(testing::BinDir() + "/fotolyx-cli") + " " + arguments +
                                   " 2>" + Quote(errors));
    const Bytes stderrBytes = ReadBytes(errors);
    std::filesystem::remove(errors);
    return {result.status, result.output, std::string(stderrBytes.begin(), stderrBytes.end())};
}

TEST(FileCommands, ConvertAndExifWriteTheirFiles) {
    struct Case {
        const char* arguments;
        const char* output;
        std::size_t size;  // 0: a JPEG of any size
    };
    const Case cases[] = {
        {"convert in.bmp out.jpg", "out.jpg", 0},
        {"convert in.bmp out.bmp", "out.bmp", 921'654},
        {"convert in.bmp out.bmp --type bmp8", "out.bmp", 308'278},
        {"convert --type=jpeg in.bmp picture", "picture", 0},
        {"convert in.jpg again.bmp", "again.bmp", 921'654},
        {"exif in.jpg in.jpg", "in.jpg", 0},
    };
    for (const Case& c : cases) {
        TempDir dir;
        WriteBytes(dir / "in.bmp", MakeBmpFile(320, 240, 24, SmoothColour));
        ASSERT_EQ(RunCli(dir, "convert in.bmp in.jpg").status, 0);
        const CliRun run = RunCli(dir, c.arguments);
        EXPECT_EQ(run.status, 0) << c.arguments << ": " << run.stderrText;
        EXPECT_EQ(run.stderrText, "") << c.arguments;
        const Bytes file = ReadBytes(dir / c.output);
        if (c.size == 0) {
            ASSERT_GE(file.size(), 4u) << c.arguments;
            EXPECT_EQ(Bytes(file.begin(), file.begin() + 4), (Bytes{0xFF, 0xD8, 0xFF, 0xE1}));
        } else {
            EXPECT_EQ(file.size(), c.size) << c.arguments;
        }
    }
}

TEST(FileCommands, FailuresPrintTheMessageAndExitNonZero) {
    struct Case {
        const char* arguments;
        int status;
        const char* message;
    };
    const Case cases[] = {
        {"convert notes.txt out.jpg", 1, "ERROR: This file type is wrong.\n"},
        {"convert gone.bmp out.jpg", 1, "ERROR: This file could not be found. \n"},
        // A missing folder is told as such, not as a full disk; a pipe is refused at once.
        {"convert in.bmp no/such/folder/out.bmp", 1,
         "ERROR: Cannot create DIR/no/such/folder/out.bmp: No such file or directory.\n"},
        {"exif in.bmp pipe.jpg", 1,
         "ERROR: Cannot save over pipe.jpg: it is a named pipe, not a regular file.\n"},
        {"exif notes.txt out.jpg", 1, "Error: This is not a Jpeg file.\n"},
        {"exif in.bmp out.jpg", 1, "Error: This is not a Jpeg file.\n"},
        {"convert in.bmp out.png", 2, nullptr},
        {"convert in.bmp out.jpg --type gif", 2, nullptr},
        {"convert in.bmp", 2, nullptr},
        {"exif in.jpg", 2, nullptr},
    };
    for (const Case& c : cases) {
        TempDir dir;
        WriteBytes(dir / "in.bmp", MakeBmpFile(32, 32, 24, SmoothColour));
        WriteBytes(dir / "notes.txt", {'h', 'e', 'l', 'l', 'o', '\n'});
        ASSERT_EQ(::mkfifo((dir / "pipe.jpg").c_str(), 0644), 0);
        const CliRun run = RunCli(dir, c.arguments);
        EXPECT_EQ(run.status, c.status) << c.arguments;
        if (c.message != nullptr) {
            std::string text = run.stderrText;
            const std::string folder = dir.path().string();
            for (std::size_t at; (at = text.find(folder)) != std::string::npos;) {
                text.replace(at, folder.size(), "DIR");
            }
            EXPECT_EQ(text, c.message) << c.arguments;
        }
        EXPECT_FALSE(std::filesystem::exists(dir / "out.jpg")) << c.arguments;
        EXPECT_FALSE(std::filesystem::exists(dir / "out.png")) << c.arguments;
    }
}

TEST(FileCommands, BigPicturesAreCutWithAMessage) {
    TempDir dir;
    WriteBytes(dir / "big.bmp", MakeBmpFile(800, 600, 24, SmoothColour));
    const CliRun run = RunCli(dir, "convert big.bmp out.bmp");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.stderrText, "ERROR: Part of the image will be cut off.\n");
    EXPECT_EQ(ReadBytes(dir / "out.bmp").size(), 921'654u);
}

// --simulate starts a simulated camera for the one command and ends it afterwards; a folder of
// JPEG files becomes its card.
TEST(FileCommands, SimulateServesACameraForOneCommand) {
    TempDir dir;
    WriteBytes(dir / "in.bmp", MakeBmpFile(640, 480, 24, SmoothColour));
    std::filesystem::create_directory(dir / "pictures");
    ASSERT_EQ(RunCli(dir, "convert in.bmp pictures/a.jpg").status, 0);
    ASSERT_EQ(RunCli(dir, "convert in.bmp pictures/b.jpg").status, 0);
    struct Case {
        std::string arguments;
        int status;
        const char* expected;  // in stdout, or in stderr when the command fails
    };
    const Case cases[] = {
        {"--simulate list", 0, "Total: 3"},
        {"--simulate=pictures list", 0, "Total: 2"},
        {"--simulate=missing-folder list", 1, "did not start"},
    };
    for (const Case& c : cases) {
        const CliRun run = RunCli(dir, c.arguments);
        EXPECT_EQ(run.status, c.status) << c.arguments << '\n' << run.stderrText;
        const std::string& text = c.status == 0 ? run.stdoutText : run.stderrText;
        EXPECT_NE(text.find(c.expected), std::string::npos) << c.arguments << '\n' << text;
    }
}

}  // namespace
}  // namespace fotolyx
