#include <gtest/gtest.h>

#include <regex>

#include "cli/cli_processes.h"

namespace fotolyx::testing {
namespace {

// "WIDTHxHEIGHT MODE FORMAT" as Pillow reads a file.
std::string PillowSays(const std::filesystem::path& file) {
    return Pillow(
        "im = Image.open(sys.argv[1]); im.load()\n"
        "print('%dx%d %s %s' % (im.size + (im.mode, im.format)))",
        Quote(file));
}

// Both camera models: the usual one and the narrow one (model 318), whose photo is widened
// before it is saved. A photo takes half a minute over the line.
TEST(LiveOverPty, LiveAndPhotoWritePicturesPillowReads) {
    REQUIRE_PILLOW();
    const struct {
        const char* model;
        const char* command;
        const char* name;
        const char* expected;
    } rows[] = {
        {"462", "live --frames 3", "live.bmp", "160x120 RGB BMP\n"},
        {"318", "live --frames 3", "live.bmp", "160x120 RGB BMP\n"},
        {"462", "photo", "photo.jpg", "640x480 RGB JPEG\n"},
        {"318", "photo", "photo.bmp", "640x480 RGB BMP\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.model) + " " + row.command);
        Camsim camsim({"--model", row.model});
        ASSERT_FALSE(camsim.path().empty());
        TempDir dir;
        const auto run = RunCli(std::string(row.command) + " --out " + Quote(dir / row.name) +
                                camsim.PortOptions());
        EXPECT_EQ(run.status, 0) << run.output;
        EXPECT_EQ(PillowSays(dir / row.name), row.expected);
    }
}

TEST(LiveOverPty, PutSendsAPictureInBothModesAndPrintsItsListLine) {
    REQUIRE_PILLOW();
    Camsim camsim({"--pictures", "3"});
    ASSERT_FALSE(camsim.path().empty());
    TempDir dir;
    const auto picture = dir / "in.jpg";
    Pillow("Image.radial_gradient('L').resize((640, 480)).convert('RGB').save(sys.argv[1])",
           Quote(picture));
    const auto fine = RunCli("put " + Quote(picture) + " --fine" + camsim.PortOptions());
    EXPECT_EQ(fine.status, 0) << fine.output;
    EXPECT_TRUE(std::regex_match(fine.output, std::regex("  4F: \\d\\d/\\d+/\\d+ \\d+:\\d\\d\n")))
        << fine.output;
    // The camera now lists four pictures; the next one is the fifth.
    const auto normal = RunCli("put " + Quote(picture) + " --normal" + camsim.PortOptions());
    EXPECT_EQ(normal.status, 0) << normal.output;
    EXPECT_EQ(normal.output.substr(0, 5), "  5N:") << normal.output;
}

TEST(LiveOverPty, WrongArgumentsExitWith2AndFailuresWith1) {
    REQUIRE_PILLOW();
    for (const char* arguments :
         {"live", "live --frames 0 --out x.bmp", "photo", "photo --out x.jpg --type gif", "put",
          "put x.jpg", "put x.jpg --fine --normal"}) {
        EXPECT_EQ(RunCli(arguments).status, 2) << arguments;
    }
    Camsim camsim({"--capacity", "0,0"});
    ASSERT_FALSE(camsim.path().empty());
    TempDir dir;
    WriteBytes(dir / "in.bmp", ReadBytes(FOTOLYX_SOURCE_DIR "/README.md"));
    Pillow("Image.new('RGB', (320, 240), (10, 200, 30)).save(sys.argv[1])",
           Quote(dir / "good.bmp"));
    const struct {
        const char* arguments;
        const char* message;
    } rows[] = {{"in.bmp --fine", "ERROR: This file type is wrong."},
                {"good.bmp --normal", "Vistacam Info: The Vistacam's memory is full."}};
    for (const auto& row : rows) {
        const auto run = RunCli("put " + (dir / row.arguments).string() + camsim.PortOptions());
        EXPECT_EQ(run.status, 1) << row.arguments << ": " << run.output;
        EXPECT_NE(run.output.find(row.message), std::string::npos) << run.output;
    }
}

}  // namespace
}  // namespace fotolyx::testing
