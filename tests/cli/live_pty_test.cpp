#include <gtest/gtest.h>

#include <regex>

#include "support/camsim_process.h"
#include "support/fakes.h"

namespace fotolyx {
namespace {

using testing::CamsimProcess;
using testing::Quote;
using testing::RunCli;
using testing::RunCommand;

constexpr const char* PYTHON = "/usr/bin/python3";

bool HasPillow() {
    return RunCommand(std::string(PYTHON) + " -c 'import PIL' 2>/dev/null").status == 0;
}

#define REQUIRE_PILLOW()                                                   \
    do {                                                                   \
        if (!HasPillow()) {                                                \
            if (testing::PeersRequired()) {                                \
                FAIL() << "Pillow (/usr/bin/python3 with PIL) is missing"; \
            }                                                              \
            GTEST_SKIP() << "Pillow is missing";                           \
        }                                                                  \
    } while (false)

// "WIDTHxHEIGHT MODE FORMAT" as Pillow reads a file.
std::string PillowSays(const std::filesystem::path& file) {
    return RunCommand(std::string(PYTHON) +
                      " -c 'import sys; from PIL import Image; im = Image.open(sys.argv[1]); "
                      "im.load(); print(\"%dx%d %s %s\" % (im.size + (im.mode, im.format)))' " +
                      Quote(file))
        .output;
}

// Both camera models: the usual one and the narrow one (model 318), whose photo is widened
// before it is saved.
TEST(LiveOverPty, LiveWritesTheSmallPictureAsABitmapPillowReads) {
    REQUIRE_PILLOW();
    for (const char* model : {"462", "318"}) {
        CamsimProcess camsim({"--model", model});
        ASSERT_FALSE(camsim.path().empty());
        testing::TempDir dir;
        const auto out = dir / "live.bmp";
        const auto run = RunCli("live --frames 3 --out " + Quote(out) + camsim.PortOptions());
        EXPECT_EQ(run.status, 0) << model << ": " << run.output;
        EXPECT_EQ(PillowSays(out), "160x120 RGB BMP\n") << model;
    }
}

TEST(LiveOverPty, PhotoSavesTheLargePhotoAsTheLiveImageWindowDoes) {
    REQUIRE_PILLOW();
    // A photo takes half a minute over the line: the usual camera's as JPEG, the narrow one's
    // (model 318, widened before saving) as BMP.
    const std::pair<const char*, const char*> cases[] = {{"462", "photo.jpg"},
                                                         {"318", "photo.bmp"}};
    for (const auto& [model, name] : cases) {
        CamsimProcess camsim({"--model", model});
        ASSERT_FALSE(camsim.path().empty());
        testing::TempDir dir;
        const auto out = dir / name;
        const auto run = RunCli("photo --out " + Quote(out) + camsim.PortOptions());
        EXPECT_FALSE(run.status < 0 || run.status >= 124) << model << name;
        EXPECT_EQ(run.status, 0) << model << " " << name << ": " << run.output;
        EXPECT_EQ(PillowSays(out),
                  std::string("640x480 RGB ") + (name[6] == 'j' ? "JPEG" : "BMP") + "\n")
            << model << " " << name;
    }
}

TEST(LiveOverPty, PutSendsAPictureInBothModesAndPrintsItsListLine) {
    REQUIRE_PILLOW();
    CamsimProcess camsim({"--pictures", "3"});
    ASSERT_FALSE(camsim.path().empty());
    testing::TempDir dir;
    const auto picture = dir / "in.jpg";
    ASSERT_EQ(RunCommand(std::string(PYTHON) +
                         " -c 'import sys; from PIL import Image; "
                         "Image.radial_gradient(\"L\").resize((640, 480)).convert(\"RGB\")"
                         ".save(sys.argv[1])' " +
                         Quote(picture))
                  .status,
              0);
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
    CamsimProcess camsim({"--capacity", "0,0"});
    ASSERT_FALSE(camsim.path().empty());
    testing::TempDir dir;
    const auto picture = dir / "in.bmp";
    testing::WriteBytes(picture, testing::ReadBytes(FOTOLYX_SOURCE_DIR "/README.md"));
    const auto bad = RunCli("put " + Quote(picture) + " --fine" + camsim.PortOptions());
    EXPECT_FALSE(bad.status < 0 || bad.status >= 124) << bad.status;
    EXPECT_EQ(bad.status, 1) << bad.output;
    EXPECT_NE(bad.output.find("ERROR: This file type is wrong."), std::string::npos) << bad.output;

    const auto good = dir / "good.bmp";
    ASSERT_EQ(RunCommand(std::string(PYTHON) +
                         " -c 'import sys; from PIL import Image; "
                         "Image.new(\"RGB\", (320, 240), (10, 200, 30)).save(sys.argv[1])' " +
                         Quote(good))
                  .status,
              0);
    const auto full = RunCli("put " + Quote(good) + " --normal" + camsim.PortOptions());
    EXPECT_FALSE(full.status < 0 || full.status >= 124) << full.status;
    EXPECT_EQ(full.status, 1) << full.output;
    EXPECT_NE(full.output.find("Vistacam Info: The Vistacam's memory is full."), std::string::npos)
        << full.output;
}

}  // namespace
}  // namespace fotolyx
