#include <gtest/gtest.h>

#include <regex>

#include "cli/cli_processes.h"

namespace fotolyx::testing {
namespace {

// A photo takes half a minute over the line.
TEST(LiveOverPty, LiveAndPhotoWritePicturesPillowReads) {
    REQUIRE_PILLOW();
    const struct {
        const char* model;
        const char* command;
        const char* name;
        const char* expected;
    } rows[] = {
        {"462", "live --frames 3", "live.bmp", "160x120 RGB BMP\n"},
        {"318", "photo", "photo.jpg", "640x480 RGB JPEG\n"},
    };
    for (const auto& row : rows) {
        Camsim camsim({"--model", row.model});
        ASSERT_FALSE(camsim.path().empty());
        TempDir dir;
        ExpectCli(
            std::string(row.command) + " --out " + Quote(dir / row.name) + camsim.PortOptions(), 0);
        EXPECT_EQ(Pillow("im = Image.open(sys.argv[1]); im.load()\n"
                         "print('%dx%d %s %s' % (im.size + (im.mode, im.format)))",
                         Quote(dir / row.name)),
                  row.expected);
    }
}

// put prints the picture's list line. Wrong arguments exit with 2, a file that is no picture and
// a full camera with 1.
TEST(LiveOverPty, PutSendsAPictureAndPrintsItsListLine) {
    REQUIRE_PILLOW();
    Camsim camsim({"--pictures", "3"});
    ASSERT_FALSE(camsim.path().empty());
    TempDir dir;
    const std::string picture = Quote(dir / "in.jpg");
    Pillow("Image.radial_gradient('L').resize((640, 480)).convert('RGB').save(sys.argv[1])",
           picture);
    const CliRun fine = ExpectCli("put " + picture + " --fine" + camsim.PortOptions(), 0);
    EXPECT_TRUE(std::regex_match(fine.output, std::regex("  4F: \\d\\d/\\d+/\\d+ \\d+:\\d\\d\n")))
        << fine.output;
    for (const char* arguments :
         {"live", "live --frames 0 --out x.bmp", "photo", "photo --out x.jpg --type gif", "put",
          "put x.jpg", "put x.jpg --fine --normal"}) {
        ExpectCli(arguments, 2);
    }
    Camsim full({"--capacity", "0,0"});
    ASSERT_FALSE(full.path().empty());
    WriteBytes(dir / "text.bmp", ReadBytes(FOTOLYX_SOURCE_DIR "/README.md"));
    Pillow("Image.new('RGB', (320, 240), (10, 200, 30)).save(sys.argv[1])",
           Quote(dir / "good.bmp"));
    ExpectCli("put " + Quote(dir / "text.bmp") + " --fine" + full.PortOptions(), 1,
              "ERROR: This file type is wrong.");
    ExpectCli("put " + Quote(dir / "good.bmp") + " --normal" + full.PortOptions(), 1,
              "Vistacam Info: The Vistacam's memory is full.");
}

}  // namespace
}  // namespace fotolyx::testing
