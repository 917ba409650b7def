#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "camsim/picture_maker.h"
#include "cli/cli_processes.h"

namespace {

using fotolyx::testing::Camsim;
using fotolyx::testing::CliRun;
using fotolyx::testing::OnlyPort;
using fotolyx::testing::RunCli;
using fotolyx::testing::TempDir;

int CountLines(const std::string& text, const std::string& containing) {
    std::istringstream in(text);
    int count = 0;
    for (std::string line; std::getline(in, line);) {
        count += line.find(containing) != std::string::npos ? 1 : 0;
    }
    return count;
}

// The picture sizes Pillow reads from files (not the hidden ones), one "name WxH MODE" line each.
std::string PillowSizes(const std::filesystem::path& folder) {
    return fotolyx::testing::Pillow(
        "import os\nd = sys.argv[1]\n"
        "for n in sorted(x for x in os.listdir(d) if x[0] != '.'):\n"
        "    im = Image.open(os.path.join(d, n)); im.load()\n"
        "    print(n, '%dx%d' % im.size, im.mode)",
        fotolyx::testing::Quote(folder));
}

TEST(PicturesOverPty, ListGetAndRmWorkAgainstTheSimulatedCamera) {
    Camsim camsim({"--pictures", "4"});
    ASSERT_FALSE(camsim.path().empty());
    const std::string port = OnlyPort("COM1", camsim.path());

    const CliRun list = RunCli("list" + port);
    ASSERT_EQ(list.status, 0) << list.output;
    EXPECT_EQ(list.output,
              "  1F: 02/5/17 14:05\t640x480\t1F02-5-17(14-5)\n"
              "  2N: 02/5/17 14:06\t320x240\t2N02-5-17(14-6)\n"
              "  3F: 02/5/17 14:07\t640x480\t3F02-5-17(14-7)\n"
              "  4N: 02/5/17 14:08\t320x240\t4N02-5-17(14-8)\n"
              "Total: 4\n");

    TempDir folder;
    const CliRun get = RunCli("get --all --dir " + folder.path().string() + port);
    ASSERT_EQ(get.status, 0) << get.output;
    EXPECT_EQ(CountLines(get.output, ".jpg"), 4) << get.output;
    const CliRun bmp = RunCli("get 2 --type bmp8 --dir " + folder.path().string() + port);
    ASSERT_EQ(bmp.status, 0) << bmp.output;
    REQUIRE_PILLOW();
    EXPECT_EQ(PillowSizes(folder.path()),
              "1F02-5-17(14-5).jpg 640x480 RGB\n"
              "2N02-5-17(14-6).bmp 320x240 P\n"
              "2N02-5-17(14-6).jpg 320x240 RGB\n"
              "3F02-5-17(14-7).jpg 640x480 RGB\n"
              "4N02-5-17(14-8).jpg 320x240 RGB\n");

    // Existing files stop the command before anything is downloaded, unless told otherwise.
    const CliRun again = RunCli("get 1 --dir " + folder.path().string() + port);
    EXPECT_FALSE(fotolyx::testing::EndedBySignal(again)) << again.status;
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.output.find("1F02-5-17(14-5).jpg exists"), std::string::npos) << again.output;
    const CliRun skip = RunCli("get 1 3 --skip-existing --dir " + folder.path().string() + port);
    EXPECT_EQ(skip.status, 0) << skip.output;
    EXPECT_EQ(CountLines(skip.output, "Skipped"), 2) << skip.output;
    // --overwrite replaces what is there with the picture itself.
    const auto third = folder.path() / "3F02-5-17(14-7).jpg";
    const std::vector<std::uint8_t> downloaded = fotolyx::testing::ReadBytes(third);
    fotolyx::testing::WriteBytes(third, {'s', 't', 'a', 'l', 'e'});
    const CliRun replace = RunCli("get 3 --overwrite --dir " + folder.path().string() + port);
    EXPECT_EQ(replace.status, 0) << replace.output;
    // The same picture again: only the Exif block's three save times (19 characters each) may
    // differ.
    const std::vector<std::uint8_t> replaced = fotolyx::testing::ReadBytes(third);
    ASSERT_EQ(replaced.size(), downloaded.size()) << "get --overwrite left " << third;
    std::size_t differing = 0;
    for (std::size_t i = 0; i < replaced.size(); ++i) {
        differing += replaced[i] != downloaded[i] ? 1 : 0;
    }
    EXPECT_LE(differing, 3u * 19u);

    // Picture 3 is deleted first (given last), then 1; the list is renumbered.
    const CliRun rm = RunCli("rm 3 1 4" + port);
    ASSERT_EQ(rm.status, 0) << rm.output;
    EXPECT_NE(rm.output.find("Total: 1\n"), std::string::npos) << rm.output;
    const CliRun after = RunCli("list" + port);
    EXPECT_EQ(after.output, "  1N: 02/5/17 14:06\t320x240\t1N02-5-17(14-6)\nTotal: 1\n");
    const CliRun all = RunCli("rm --all" + port);
    EXPECT_EQ(all.status, 0) << all.output;
    EXPECT_NE(all.output.find("Total: 0\n"), std::string::npos) << all.output;
    const CliRun empty = RunCli("list" + port);
    EXPECT_EQ(empty.status, 0) << empty.output;
    EXPECT_NE(empty.output.find("No images in the Vistacam memory."), std::string::npos);
    EXPECT_NE(empty.output.find("Total: 0\n"), std::string::npos);
}

TEST(PicturesOverPty, BadArgumentsAndMissingCamerasFail) {
    struct Case {
        std::string arguments;
        int status;
    };
    const Case cases[] = {
        {"get", 2},
        {"get 1 --all", 2},
        {"get 0", 2},
        {"get x", 2},
        {"get --type gif 1", 2},
        {"rm", 2},
        {"get 1 --overwrite --skip-existing", 2},
        {"list" + OnlyPort("", ""), 1},
    };
    for (const auto& c : cases) {
        const CliRun run = RunCli(c.arguments);
        EXPECT_FALSE(fotolyx::testing::EndedBySignal(run)) << c.arguments;
        EXPECT_EQ(run.status, c.status) << c.arguments;
        EXPECT_FALSE(run.output.empty()) << c.arguments;  // every failure says why
    }
    Camsim camsim({"--pictures", "2"});
    const CliRun missing = RunCli("get 3 --dir /tmp" + OnlyPort("COM1", camsim.path()));
    EXPECT_FALSE(fotolyx::testing::EndedBySignal(missing)) << missing.status;
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.output.find("there is no picture 3"), std::string::npos) << missing.output;
}

// Default names carry the position: after a deletion another picture may have the name of a
// file saved before. --skip-existing skips only a file get saved from the same picture.
TEST(PicturesOverPty, SkipExistingSkipsOnlyAPictureSavedBefore) {
    // Three pictures of the same quality, size and minute: their names differ only in the
    // position.
    TempDir source;
    for (int seed = 0; seed < 3; ++seed) {
        fotolyx::testing::WriteBytes(source / ("p" + std::to_string(seed) + ".jpg"),
                                     fotolyx::camsim::MakeSceneJpeg(64, 48, seed, 80));
    }
    Camsim camsim({"--picture-folder", source.path().string()});
    ASSERT_FALSE(camsim.path().empty());
    const std::string port = OnlyPort("COM1", camsim.path());
    TempDir folder;
    const std::string dir = " --dir " + folder.path().string();

    const CliRun get = RunCli("get 1 2" + dir + port);
    ASSERT_EQ(get.status, 0) << get.output;
    const auto second = folder / "2F02-5-17(14-5).jpg";
    const auto before = fotolyx::testing::ReadBytes(second);
    ASSERT_FALSE(before.empty());

    const CliRun rm = RunCli("rm 2" + port);
    ASSERT_EQ(rm.status, 0) << rm.output;
    // The picture now at position 2 (the former third) has the name of the saved file.
    const CliRun list = RunCli("list" + port);
    EXPECT_NE(list.output.find("2F02-5-17(14-5)\n"), std::string::npos) << list.output;

    const CliRun same = RunCli("get --skip-existing 1" + dir + port);
    EXPECT_EQ(same.status, 0) << same.output;
    EXPECT_NE(same.output.find("Skipped"), std::string::npos) << same.output;

    const CliRun other = RunCli("get --skip-existing 2" + dir + port);
    EXPECT_FALSE(fotolyx::testing::EndedBySignal(other)) << other.status;
    EXPECT_EQ(other.status, 1) << other.output;
    EXPECT_EQ(other.output.find("Skipped"), std::string::npos) << other.output;
    EXPECT_NE(other.output.find("was not saved from picture 2"), std::string::npos) << other.output;
    EXPECT_EQ(fotolyx::testing::ReadBytes(second), before);

    // Saved over on request, it is skipped from then on.
    const CliRun replace = RunCli("get --overwrite 2" + dir + port);
    EXPECT_EQ(replace.status, 0) << replace.output;
    EXPECT_NE(fotolyx::testing::ReadBytes(second), before);
    const CliRun now = RunCli("get --skip-existing 2" + dir + port);
    EXPECT_EQ(now.status, 0) << now.output;
    EXPECT_NE(now.output.find("Skipped"), std::string::npos) << now.output;
}

}  // namespace
