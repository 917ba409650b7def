#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <sstream>

#include "camsim/picture_maker.h"
#include "cli/cli_processes.h"

namespace fotolyx::testing {
namespace {

namespace fs = std::filesystem;

int CountLines(const std::string& text, const std::string& containing) {
    std::istringstream in(text);
    int count = 0;
    for (std::string line; std::getline(in, line);) {
        count += Contains(line, containing) ? 1 : 0;
    }
    return count;
}

std::time_t ModificationTime(const fs::path& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? status.st_mtime : 0;
}

// 17 May 2002 14:05 and 14:06 in UTC, the dates of the simulated camera's pictures.
constexpr std::time_t MAY_17_2002_1405_UTC = 1021644300;
constexpr std::time_t MAY_17_2002_1406_UTC = 1021644360;

// Runs the CLI in UTC, so the camera's local dates have known times.
CliRun RunCliUtc(const std::string& arguments) {
    return RunCommand("TZ=UTC timeout 120 " + BinDir() + "/fotolyx-cli " + arguments + " 2>&1");
}

TEST(PicturesOverPty, ListGetThumbsAndRmWorkAgainstTheSimulatedCamera) {
    Camsim camsim({"--pictures", "4"});
    ASSERT_FALSE(camsim.path().empty());
    const std::string port = OnlyPort("COM1", camsim.path());
    TempDir folder;
    const std::string dir = " --dir " + folder.path().string();

    const CliRun list = RunCli("list" + port);
    ASSERT_EQ(list.status, 0) << list.output;
    EXPECT_TRUE(Contains(list.output, "  4N: 02/5/17 14:08\t320x240\t4N02-5-17(14-8)\nTotal: 4\n"))
        << list.output;
    // Files are dated by the camera.
    const CliRun get = RunCli("get --all" + dir + port);
    ASSERT_EQ(get.status, 0) << get.output;
    EXPECT_EQ(CountLines(get.output, ".jpg"), 4) << get.output;
    const CliRun bmp = RunCliUtc("get 2 --type bmp8" + dir + port);
    ASSERT_EQ(bmp.status, 0) << bmp.output;
    EXPECT_EQ(ModificationTime(folder / "2N02-5-17(14-6).bmp"), MAY_17_2002_1406_UTC);
    const CliRun thumbs = RunCliUtc("thumbs" + dir + port);
    ASSERT_EQ(thumbs.status, 0) << thumbs.output;
    EXPECT_EQ(ModificationTime(folder / "2N02-5-17(14-6)_thumb.jpg"), MAY_17_2002_1406_UTC);
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

    // Existing files stop the command before anything is downloaded, unless told otherwise.
    for (const char* command : {"get 1", "thumbs"}) {
        const CliRun again = RunCli(command + dir + port);
        EXPECT_EQ(again.status, 1) << command;
        EXPECT_TRUE(Contains(again.output, "exists (use --overwrite")) << again.output;
    }
    const CliRun skip = RunCli("get 1 3 --skip-existing" + dir + port);
    EXPECT_EQ(skip.status, 0) << skip.output;
    EXPECT_EQ(CountLines(skip.output, "Skipped"), 2) << skip.output;
    const auto third = folder / "3F02-5-17(14-7).jpg";
    WriteBytes(third, {'s', 't', 'a', 'l', 'e'});
    EXPECT_EQ(RunCli("get 3 --overwrite" + dir + port).status, 0);
    EXPECT_GT(fs::file_size(third), 1000u);

    // Picture 3 is deleted first (given last), then 1; the list is renumbered.
    const CliRun rm = RunCli("rm 3 1 4" + port);
    ASSERT_EQ(rm.status, 0) << rm.output;
    EXPECT_TRUE(Contains(rm.output, "Total: 1\n")) << rm.output;
    EXPECT_EQ(RunCli("list" + port).output,
              "  1N: 02/5/17 14:06\t320x240\t1N02-5-17(14-6)\nTotal: 1\n");
    const CliRun all = RunCli("rm --all" + port);
    EXPECT_EQ(all.status, 0) << all.output;
    EXPECT_TRUE(Contains(all.output, "Total: 0\n")) << all.output;
}

TEST(PicturesOverPty, BadArgumentsExitWith2BeforeAnyDownloadAndFailuresWith1) {
    TempDir out;
    Camsim camsim({"--pictures", "2"});
    ASSERT_FALSE(camsim.path().empty());
    const std::string port = OnlyPort("COM1", camsim.path()) + " --dir " + out.path().string();
    const struct {
        std::string arguments;
        int status;
        const char* message;
    } cases[] = {
        {"get", 2, "usage:"},
        {"get 1 --all", 2, "usage:"},
        {"get 0", 2, "bad argument '0'"},
        {"get x", 2, "bad argument 'x'"},
        {"get --type gif 1", 2, "unknown type 'gif'"},
        {"rm", 2, "fotolyx-cli rm:"},
        {"get 1 --overwrite --skip-existing", 2, "usage:"},
        {"get --all --original --type bmp", 2, "usage:"},
        {"get --all --filename '%Q'", 2, "unknown field '%Q'"},
        {"get --all --filename 'a/%n'", 2, "may not name a folder"},
        {"get --all --filename '%Y%m%d'", 2, "would both be named '20020517'"},
        {"get 3", 1, "there is no picture 3"},
    };
    for (const auto& c : cases) {
        const CliRun run = RunCli(c.arguments + port);
        EXPECT_FALSE(EndedBySignal(run)) << c.arguments;
        EXPECT_EQ(run.status, c.status) << c.arguments;
        EXPECT_TRUE(Contains(run.output, c.message)) << c.arguments << '\n' << run.output;
    }
    EXPECT_TRUE(fs::is_empty(out.path()));
}

// Original files are the camera's own bytes (JPEG files made by Pillow, each with a comment the
// program's own encoder would not write), named by the pattern and dated by the camera.
TEST(PicturesOverPty, OriginalFilesAreTheCamerasBytesDatedByTheCamera) {
    REQUIRE_PILLOW();
    TempDir card;
    TempDir out;
    Pillow(
        "for i, (w, h) in enumerate([(320, 240), (640, 480)]):\n"
        "    im = Image.new('RGB', (w, h), (40 * i, 120, 200))\n"
        "    im.save(sys.argv[1] + '/card%d.jpg' % i, quality=83,"
        " comment=b'from the card %d' % i)",
        Quote(card.path()));
    Camsim camsim({"--picture-folder", card.path().string()});
    ASSERT_FALSE(camsim.path().empty());
    const CliRun run =
        RunCliUtc("get --original --all --dir " + out.path().string() +
                  " --filename 'card-%N-%Y%m%d-%H%M'" + OnlyPort("COM1", camsim.path()));
    ASSERT_EQ(run.status, 0) << run.output;
    for (const auto& [name, source] : {std::pair{"card-001-20020517-1405.jpg", "card0.jpg"},
                                       std::pair{"card-002-20020517-1405.jpg", "card1.jpg"}}) {
        EXPECT_EQ(ReadBytes(out / name), ReadBytes(card / source)) << name;
        EXPECT_EQ(ModificationTime(out / name), MAY_17_2002_1405_UTC) << name;
    }
    EXPECT_EQ(CountLines(RunCommand("ls " + Quote(out.path())).output, ".jpg"), 2);
}

// Default names carry the position: after a deletion another picture may have the name of a
// file saved before. --skip-existing skips only a file get saved from the same picture.
TEST(PicturesOverPty, SkipExistingSkipsOnlyAPictureSavedBefore) {
    // Three pictures of the same quality, size and minute: their names differ only in position.
    TempDir source;
    for (int seed = 0; seed < 3; ++seed) {
        WriteBytes(source / ("p" + std::to_string(seed) + ".jpg"),
                   camsim::MakeSceneJpeg(64, 48, seed, 80));
    }
    Camsim camsim({"--picture-folder", source.path().string()});
    ASSERT_FALSE(camsim.path().empty());
    const std::string port = OnlyPort("COM1", camsim.path());
    TempDir folder;
    const std::string dir = " --dir " + folder.path().string();
    ASSERT_EQ(RunCli("get 1 2" + dir + port).status, 0);
    const auto second = folder / "2F02-5-17(14-5).jpg";
    const auto before = ReadBytes(second);
    ASSERT_EQ(RunCli("rm 2" + port).status, 0);  // the former third is now picture 2

    const struct {
        const char* arguments;
        int status;
        const char* message;
    } steps[] = {
        {"get --skip-existing 1", 0, "Skipped"},
        {"get --skip-existing 2", 1, "was not saved from picture 2"},
        {"get --overwrite 2", 0, ".jpg"},
        {"get --skip-existing 2", 0, "Skipped"},  // saved over on request, skipped from then on
    };
    for (const auto& step : steps) {
        const CliRun run = RunCli(step.arguments + dir + port);
        EXPECT_EQ(run.status, step.status) << step.arguments << '\n' << run.output;
        EXPECT_TRUE(Contains(run.output, step.message)) << step.arguments << '\n' << run.output;
        EXPECT_EQ(ReadBytes(second) == before, step.status == 1 || &step == &steps[0])
            << step.arguments;
    }
}

}  // namespace
}  // namespace fotolyx::testing
