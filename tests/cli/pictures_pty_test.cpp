#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "camsim/picture_maker.h"
#include "cli/cli_processes.h"

namespace fotolyx::testing {
namespace {

std::time_t ModificationTime(const std::filesystem::path& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? status.st_mtime : 0;
}

// 17 May 2002 14:05 and 14:06 in UTC, the dates of the simulated camera's pictures.
constexpr std::time_t MAY_17_2002_1405_UTC = 1021644300;
constexpr std::time_t MAY_17_2002_1406_UTC = 1021644360;

// Files are dated by the camera; existing files stop a command before anything is downloaded;
// rm deletes from the highest number down and the list is renumbered.
TEST(PicturesOverPty, ListGetThumbsAndRmWorkAgainstTheSimulatedCamera) {
    Camsim camsim({"--pictures", "4"});
    ASSERT_FALSE(camsim.path().empty());
    const std::string port = OnlyPort("COM1", camsim.path());
    TempDir folder;
    const std::string dir = " --dir " + folder.path().string() + port;
    ExpectCli("list" + port, 0, "  4N: 02/5/17 14:08\t320x240\t4N02-5-17(14-8)\nTotal: 4\n");
    ExpectCli("get --all" + dir, 0, "4N02-5-17(14-8).jpg");
    ExpectCli("get 2 --type bmp8" + dir, 0);
    ExpectCli("thumbs" + dir, 0);
    EXPECT_EQ(ModificationTime(folder / "2N02-5-17(14-6).bmp"), MAY_17_2002_1406_UTC);
    EXPECT_EQ(ModificationTime(folder / "2N02-5-17(14-6)_thumb.jpg"), MAY_17_2002_1406_UTC);
    ExpectCli("get 1" + dir, 1, "exists (use --overwrite");
    ExpectCli("thumbs" + dir, 1, "exists (use --overwrite");
    ExpectCli("rm 3 1 4" + port, 0, "Total: 1\n");
    EXPECT_EQ(ExpectCli("list" + port, 0).output,
              "  1N: 02/5/17 14:06\t320x240\t1N02-5-17(14-6)\nTotal: 1\n");
    ExpectCli("rm --all" + port, 0, "Total: 0\n");
    REQUIRE_PILLOW();
    EXPECT_EQ(Pillow("import os\nd = sys.argv[1]\n"
                     "for n in sorted(x for x in os.listdir(d) if x[0] != '.'):\n"
                     "    im = Image.open(os.path.join(d, n)); im.load()\n"
                     "    print(n, '%dx%d' % im.size, im.mode, im.format)",
                     Quote(folder.path())),
              "1F02-5-17(14-5).jpg 640x480 RGB JPEG\n"
              "1F02-5-17(14-5)_thumb.jpg 80x60 RGB JPEG\n"
              "2N02-5-17(14-6).bmp 320x240 P BMP\n"
              "2N02-5-17(14-6).jpg 320x240 RGB JPEG\n"
              "2N02-5-17(14-6)_thumb.jpg 80x60 RGB JPEG\n"
              "3F02-5-17(14-7).jpg 640x480 RGB JPEG\n"
              "3F02-5-17(14-7)_thumb.jpg 80x60 RGB JPEG\n"
              "4N02-5-17(14-8).jpg 320x240 RGB JPEG\n"
              "4N02-5-17(14-8)_thumb.jpg 80x60 RGB JPEG\n");
}

TEST(PicturesOverPty, BadArgumentsExitWith2BeforeAnyDownloadAndFailuresWith1) {
    TempDir out;
    Camsim camsim({"--pictures", "2"});
    ASSERT_FALSE(camsim.path().empty());
    const std::string port = OnlyPort("COM1", camsim.path()) + " --dir " + out.path().string();
    for (const auto& [arguments, message] :
         {std::pair{"get", "usage:"},
          {"get 0", "bad argument '0'"},
          {"get --type gif 1", "unknown type 'gif'"},
          {"rm", "fotolyx-cli rm:"},
          {"get 1 --overwrite --skip-existing", "usage:"},
          {"get --all --filename '%Q'", "unknown field '%Q'"},
          {"get --all --filename '%Y%m%d'", "would both be named '20020517'"}}) {
        ExpectCli(arguments + port, 2, message);
    }
    ExpectCli("get 3" + port, 1, "there is no picture 3");
    EXPECT_TRUE(std::filesystem::is_empty(out.path()));
}

// Original files are the card's bytes, named by the pattern. Three pictures of one quality, size
// and minute: after a deletion another picture has the name of a file saved before.
TEST(PicturesOverPty, OriginalFilesAndSkipExistingOnACardFolder) {
    TempDir card;
    for (int seed = 0; seed < 3; ++seed) {
        WriteBytes(card / ("p" + std::to_string(seed) + ".jpg"),
                   camsim::MakeSceneJpeg(64, 48, seed, 80));
    }
    Camsim camsim({"--picture-folder", card.path().string()});
    ASSERT_FALSE(camsim.path().empty());
    const std::string port = OnlyPort("COM1", camsim.path());
    TempDir folder;
    const std::string dir = " --dir " + folder.path().string() + port;
    ExpectCli("get --original --all --filename 'card-%N-%Y%m%d-%H%M'" + dir, 0);
    for (int i = 0; i < 3; ++i) {
        const std::string name = "card-00" + std::to_string(i + 1) + "-20020517-1405.jpg";
        EXPECT_EQ(ReadBytes(folder / name), ReadBytes(card / ("p" + std::to_string(i) + ".jpg")));
        EXPECT_EQ(ModificationTime(folder / name), MAY_17_2002_1405_UTC) << name;
    }
    ExpectCli("get 1 2" + dir, 0);
    const auto second = folder / "2F02-5-17(14-5).jpg";
    const auto before = ReadBytes(second);
    ExpectCli("rm 2" + port, 0);  // the former third is now picture 2
    ExpectCli("get --skip-existing 2" + dir, 1, "was not saved from picture 2");
    EXPECT_EQ(ReadBytes(second), before);
    ExpectCli("get --overwrite 2" + dir, 0, ".jpg");
    EXPECT_NE(ReadBytes(second), before);
}

}  // namespace
}  // namespace fotolyx::testing
