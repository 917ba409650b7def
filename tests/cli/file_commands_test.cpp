// fotolyx-cli convert and exif, run as a user would run them.

#include <gtest/gtest.h>

#include <cstdlib>

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

std::filesystem::path CliProgram() {
    const char* binDir = std::getenv("FOTOLYX_BIN_DIR");
    return std::filesystem::path(binDir != nullptr ? binDir : FOTOLYX_BINARY_DIR "/bin") /
           "fotolyx-cli";
}

struct CliRun {
    int status;
    std::string stdoutText;
    std::string stderrText;
};

// Runs fotolyx-cli in folder with the arguments (already quoted where needed).
CliRun RunCli(const TempDir& folder, const std::string& arguments) {
    const auto errors = folder / "stderr.txt";
    const auto result = RunCommand("cd " + Quote(folder.path()) + " && " + Quote(CliProgram()) +
                                   " " + arguments + " 2>" + Quote(errors));
    const Bytes stderrBytes = ReadBytes(errors);
    std::filesystem::remove(errors);
    return {result.status, result.output, std::string(stderrBytes.begin(), stderrBytes.end())};
}

TEST(FileCommands, HelpListsTheCommands) {
    TempDir dir;
    const CliRun run = RunCli(dir, "--help");
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.stdoutText.find("convert IN OUT [--type jpeg|bmp|bmp8]"), std::string::npos);
    EXPECT_NE(run.stdoutText.find("exif IN.jpg OUT.jpg"), std::string::npos);
}

TEST(FileCommands, ConvertWritesEachType) {
    struct Case {
        const char* arguments;
        const char* output;
        std::size_t size;  // 0: a JPEG of any size
    };
    const Case cases[] = {
        {"in.bmp out.jpg", "out.jpg", 0},
        {"in.bmp out.bmp", "out.bmp", 921'654},
        {"in.bmp out.bmp --type bmp8", "out.bmp", 308'278},
        {"--type=jpeg in.bmp picture", "picture", 0},
        {"in.jpg again.bmp", "again.bmp", 921'654},
    };
    for (const Case& c : cases) {
        TempDir dir;
        WriteBytes(dir / "in.bmp", MakeBmpFile(320, 240, 24, SmoothColour));
        ASSERT_EQ(RunCli(dir, "convert in.bmp in.jpg").status, 0);
        const CliRun run = RunCli(dir, std::string("convert ") + c.arguments);
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
        // The free-space query fails for a missing folder, which reads as no space.
        {"convert in.bmp no/such/folder/out.bmp", 1, "ZIVU VEVE: Disk is full.\n"},
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
        const CliRun run = RunCli(dir, c.arguments);
        EXPECT_EQ(run.status, c.status) << c.arguments;
        if (c.message != nullptr) {
            EXPECT_EQ(run.stderrText, c.message) << c.arguments;
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

TEST(FileCommands, ExifRewritesAFileInPlace) {
    TempDir dir;
    WriteBytes(dir / "in.bmp", MakeBmpFile(320, 240, 24, SmoothColour));
    ASSERT_EQ(RunCli(dir, "convert in.bmp plain.bmp").status, 0);
    ASSERT_EQ(RunCli(dir, "convert in.bmp plain.jpg").status, 0);
    const Bytes before = ReadBytes(dir / "plain.jpg");
    const CliRun run = RunCli(dir, "exif plain.jpg plain.jpg");
    EXPECT_EQ(run.status, 0) << run.stderrText;
    const Bytes file = ReadBytes(dir / "plain.jpg");
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 4), (Bytes{0xFF, 0xD8, 0xFF, 0xE1}));
    EXPECT_NE(file, before);  // re-encoded from its decoded picture
    // Only the picture and the folder's own files remain: no temporary files.
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        ++entries;
    }
    EXPECT_EQ(entries, 3u);  // in.bmp, plain.bmp, plain.jpg
}

}  // namespace
}  // namespace fotolyx
