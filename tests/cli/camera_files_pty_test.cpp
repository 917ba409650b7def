#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "cli/cli_processes.h"

namespace {

namespace fs = std::filesystem;
using fotolyx::testing::Camsim;
using fotolyx::testing::CliRun;
using fotolyx::testing::OnlyPort;
using fotolyx::testing::ReadBytes;
using fotolyx::testing::RunCli;
using fotolyx::testing::RunCommand;
using fotolyx::testing::TempDir;

// 17 May 2002 14:05 and 14:06 in UTC, the dates of the simulated camera's pictures.
constexpr std::time_t MAY_17_2002_1405_UTC = 1021644300;
constexpr std::time_t MAY_17_2002_1406_UTC = 1021644360;

std::time_t ModificationTime(const fs::path& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? status.st_mtime : 0;
}

// Runs the CLI in UTC, so the camera's local dates have known times.
CliRun RunCliUtc(const std::string& arguments) {
    return RunCommand("TZ=UTC timeout 120 " + fotolyx::testing::BinDir() + "/fotolyx-cli " +
                      arguments + " 2>&1");
}

// JPEG files made by Pillow, each with a comment the program's own encoder would not write.
void MakeCameraCard(const fs::path& folder) {
    fotolyx::testing::Pillow(
        "for i, (w, h) in enumerate([(320, 240), (640, 480)]):\n"
        "    im = Image.new('RGB', (w, h), (40 * i, 120, 200))\n"
        "    im.save(sys.argv[1] + '/card%d.jpg' % i, quality=83,"
        " comment=b'from the card %d' % i)",
        fotolyx::testing::Quote(folder));
}

TEST(CameraFiles, OriginalFilesAreTheCamerasBytesDatedByTheCamera) {
    REQUIRE_PILLOW();
    TempDir card;
    TempDir out;
    MakeCameraCard(card.path());
    Camsim camsim({"--picture-folder", card.path().string()});
    ASSERT_FALSE(camsim.path().empty());
    const CliRun run =
        RunCliUtc("get --original --all --dir " + out.path().string() +
                  " --filename 'card-%N-%Y%m%d-%H%M'" + OnlyPort("COM1", camsim.path()));
    ASSERT_EQ(run.status, 0) << run.output;
    for (const char* name : {"card-001-20020517-1405.jpg", "card-002-20020517-1405.jpg"}) {
        const fs::path saved = out / name;
        ASSERT_TRUE(fs::exists(saved)) << name << '\n' << run.output;
        const std::string source = std::string("card") + (name[7] == '1' ? "0" : "1") + ".jpg";
        EXPECT_EQ(ReadBytes(saved), ReadBytes(card / source)) << name;
        EXPECT_EQ(ModificationTime(saved), MAY_17_2002_1405_UTC) << name;
    }
    int pictures = 0;
    for (const auto& entry : fs::directory_iterator(out.path())) {
        pictures += entry.path().extension() == ".jpg" ? 1 : 0;
    }
    EXPECT_EQ(pictures, 2);
}

TEST(CameraFiles, DecodedFilesAndThumbnailsAreDatedByTheCameraToo) {
    TempDir out;
    Camsim camsim({});
    ASSERT_FALSE(camsim.path().empty());
    const CliRun get = RunCliUtc("get 2 --type bmp --dir " + out.path().string() +
                                 OnlyPort("COM1", camsim.path()));
    ASSERT_EQ(get.status, 0) << get.output;
    EXPECT_EQ(ModificationTime(out / "2N02-5-17(14-6).bmp"), MAY_17_2002_1406_UTC) << get.output;

    const CliRun thumbs =
        RunCliUtc("thumbs --dir " + out.path().string() + OnlyPort("COM1", camsim.path()));
    ASSERT_EQ(thumbs.status, 0) << thumbs.output;
    for (const char* name :
         {"1F02-5-17(14-5)_thumb.jpg", "2N02-5-17(14-6)_thumb.jpg", "3F02-5-17(14-7)_thumb.jpg"}) {
        const auto bytes = ReadBytes(out / name);
        ASSERT_GE(bytes.size(), 4u) << name << '\n' << thumbs.output;
        EXPECT_EQ(bytes[0], 0xFF);
        EXPECT_EQ(bytes[1], 0xD8);
        EXPECT_EQ(bytes[bytes.size() - 2], 0xFF) << name;
        EXPECT_EQ(bytes[bytes.size() - 1], 0xD9) << name;
    }
    EXPECT_EQ(ModificationTime(out / "2N02-5-17(14-6)_thumb.jpg"), MAY_17_2002_1406_UTC);
    // A second run finds the thumbnails there and leaves them.
    const CliRun again =
        RunCliUtc("thumbs --dir " + out.path().string() + OnlyPort("COM1", camsim.path()));
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.output.find("exists (use --overwrite)"), std::string::npos) << again.output;
}

TEST(CameraFiles, BadNamePatternsStopBeforeAnyDownload) {
    struct Case {
        const char* arguments;
        const char* message;
    };
    const Case cases[] = {
        {"get --all --filename '%Q'", "unknown field '%Q'"},
        {"get --all --filename 'a/%n'", "may not name a folder"},
        {"get --all --filename '%Y%m%d'", "would both be named '20020517'"},
        {"get --all --original --type bmp", "usage:"},
    };
    TempDir out;
    for (const Case& c : cases) {
        Camsim camsim({});
        ASSERT_FALSE(camsim.path().empty());
        const CliRun run = RunCli(std::string(c.arguments) + " --dir " + out.path().string() +
                                  OnlyPort("COM1", camsim.path()));
        EXPECT_EQ(run.status, 2) << c.arguments;
        EXPECT_NE(run.output.find(c.message), std::string::npos) << c.arguments << '\n'
                                                                 << run.output;
    }
    EXPECT_TRUE(fs::is_empty(out.path()));
}

}  // namespace
