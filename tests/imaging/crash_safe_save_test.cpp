// Saves that are killed or run out of disk: the destination keeps its old contents or gets the
// whole new ones, and no temporary file stays beside it once the next save has run.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "app/ini_file.h"
#include "app/program.h"
#include "camsim/picture_maker.h"
#include "imaging/atomic_file.h"
#include "imaging/bmp_file.h"
#include "imaging/save_pipeline.h"
#include "support/fakes.h"
#include "support/picture_files.h"

namespace fotolyx {
namespace {

using testing::Bytes;
using testing::FixedClock;
using testing::FixedFreeSpace;
using testing::ReadBytes;
using testing::RecordingShell;
using testing::RecordingTimers;
using testing::ScriptedLine;
using testing::TempDir;
using testing::WriteBytes;

constexpr int KILLS_PER_SAVE = 12;

std::set<std::string> FolderNames(const std::filesystem::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

// One way of saving the destination: save(0) and save(1) write two different complete files.
struct SavePath {
    const char* name;
    std::function<bool(int version)> save;
};

// The world of the save paths: a picture folder with the destination, and the program's own
// scratch and temporary folders elsewhere.
struct SaveWorld {
    TempDir root;
    std::filesystem::path pictures = root / "pictures";
    std::filesystem::path work = root / "work";
    RecordingShell shell;
    FixedClock clock;
    FixedFreeSpace freeSpace;
    Memory memory;
    JpegState jpeg;
    SaveState save;
    std::string initialDirectory;
    SaveContext context{
        shell, clock,           freeSpace, memory, jpeg, save, work / "scratchA", work / "scratchB",
        work,  initialDirectory};

    SaveWorld() {
        std::filesystem::create_directory(pictures);
        std::filesystem::create_directory(work);
    }

    static DibBlock Picture(int version) {
        DibBlock picture = *CreateDib(640, 480, 24, 0);
        std::fill(DibBits(picture), picture.data() + picture.size(),
                  static_cast<std::uint8_t>(0x40 + version));
        return picture;
    }

    SavePath Bitmap(const std::filesystem::path& destination) {
        return {"WriteDibFile", [destination](int version) {
                    return WriteDibFile(destination, Picture(version)) == 1;
                }};
    }

    SavePath JpegWithExif(const std::filesystem::path& destination) {
        for (int version = 0; version < 2; ++version) {
            WriteBytes(work / ("source" + std::to_string(version) + ".jpg"),
                       camsim::MakeSceneJpeg(640, 480, version, 90));
        }
        return {"SaveJpegWithExif", [this, destination](int version) {
                    const auto source = work / ("source" + std::to_string(version) + ".jpg");
                    return SaveJpegWithExif(context, source, destination) == 1;
                }};
    }

    // The program's settings write at shutdown, with the folder of the Open dialog as the
    // version.
    SavePath Settings(const std::filesystem::path& programFolder) {
        return {"settings", [this, programFolder](int version) {
                    RecordingTimers timers;
                    ScriptedLine line;
                    HostEnvironment environment;
                    environment.programDirectory = programFolder;
                    environment.startDirectory = work;
                    environment.tempDirectory = work;
                    Program program(Ports{shell, timers, line, clock, memory}, environment);
                    program.Startup();
                    program.settings.OpenInitialDir = version == 0 ? "/version/zero" : "/one";
                    program.Shutdown();
                    return IniFile::Load(programFolder / SETTINGS_FILE_NAME)
                               .GetString(SETTINGS_SECTION, SETTINGS_KEY_FILEINITPATH, "", 259) ==
                           program.settings.OpenInitialDir;
                }};
    }
};

// Saves the two versions once each into a copy of the destination's folder state and returns
// their bytes, with the time one save takes.
struct Expected {
    Bytes oldFile;
    std::array<Bytes, 2> versions;
    std::chrono::microseconds saveTime{0};
};

Expected SaveBothVersions(const SavePath& path, const std::filesystem::path& destination) {
    Expected expected;
    expected.oldFile = ReadBytes(destination);
    for (int version = 0; version < 2; ++version) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(path.save(version)) << path.name;
        expected.saveTime =
            std::max(expected.saveTime, std::chrono::duration_cast<std::chrono::microseconds>(
                                            std::chrono::steady_clock::now() - start));
        expected.versions[version] = ReadBytes(destination);
        WriteBytes(destination, expected.oldFile);
    }
    EXPECT_NE(expected.versions[0], expected.versions[1]);
    EXPECT_NE(expected.versions[0], expected.oldFile);
    return expected;
}

// A child saves the two versions in turn until it is killed after a random delay that covers
// a few whole saves; each time the destination holds one complete file, and the next save
// removes what the killed one left.
void KillSavesAtRandomPoints(const SavePath& path, const std::filesystem::path& destination,
                             std::mt19937& random) {
    const auto folder = destination.parent_path();
    const std::set<std::string> namesBefore = FolderNames(folder);
    const Expected expected = SaveBothVersions(path, destination);
    std::uniform_int_distribution<long> delay(0, 3 * expected.saveTime.count() + 1000);
    int killedWithTemporary = 0;
    for (int round = 0; round < KILLS_PER_SAVE; ++round) {
        const long delayUs = delay(random);
        SCOPED_TRACE(::testing::Message() << path.name << " killed after " << delayUs << " us");
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int version = 0;; version ^= 1) {
                path.save(version);
            }
        }
        ::usleep(static_cast<useconds_t>(delayUs));
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status));

        const Bytes now = ReadBytes(destination);
        EXPECT_TRUE(now == expected.oldFile || now == expected.versions[0] ||
                    now == expected.versions[1])
            << "the destination holds " << now.size() << " bytes of no complete file";
        if (FolderNames(folder) != namesBefore) {
            ++killedWithTemporary;
        }
        ASSERT_TRUE(path.save(round % 2));
        EXPECT_EQ(ReadBytes(destination), expected.versions[round % 2]);
        EXPECT_EQ(FolderNames(folder), namesBefore);
    }
    // Not asserted (it depends on timing), but shown so a run says what it exercised.
    std::printf("%s: %d of %d kills left a temporary file for the next save to remove\n", path.name,
                killedWithTemporary, KILLS_PER_SAVE);
}

TEST(CrashSafeSave, KilledSavesLeaveTheOldOrTheNewFileAndNoTemporaryFile) {
    SaveWorld world;
    std::mt19937 random(20'021'206);

    const auto bitmap = world.pictures / "picture.bmp";
    WriteBytes(bitmap, Bytes(5'000, 0x55));
    KillSavesAtRandomPoints(world.Bitmap(bitmap), bitmap, random);

    const auto jpeg = world.pictures / "picture.jpg";
    WriteBytes(jpeg, camsim::MakeSceneJpeg(320, 240, 7, 50));
    KillSavesAtRandomPoints(world.JpegWithExif(jpeg), jpeg, random);

    const auto programFolder = world.root / "program";
    std::filesystem::create_directory(programFolder);
    const auto settings = programFolder / SETTINGS_FILE_NAME;
    const std::string oldSettings = "; kept\n[Mode]\nFILEPREV=1\nFILEINITPATH=/old\n";
    WriteBytes(settings, Bytes(oldSettings.begin(), oldSettings.end()));
    KillSavesAtRandomPoints(world.Settings(programFolder), settings, random);
}

TEST(CrashSafeSave, TemporaryFilesOfLivingWritersAndOtherFilesAreKept) {
    TempDir dir;
    const auto destination = dir / "picture.bmp";
    const Bytes abandoned = {1, 2, 3};
    // Look-alikes that are not temporary files of this destination.
    for (const char* name : {".picture.bmp.abc", ".picture.bmp.abcdefg", ".picture.bmp.ab-cde",
                             "picture.bmp.abcdef", ".other.bmp.abcdef"}) {
        WriteBytes(dir / name, abandoned);
    }
    WriteBytes(dir / ".picture.bmp.Xy12zZ", abandoned);  // left by a killed writer
    AtomicFile living(destination);                      // a writer still at work
    ASSERT_TRUE(living.IsOpen());

    RemoveAbandonedTemporaries(destination);

    EXPECT_EQ(
        FolderNames(dir.path()),
        (std::set<std::string>{".picture.bmp.abc", ".picture.bmp.abcdefg", ".picture.bmp.ab-cde",
                               "picture.bmp.abcdef", ".other.bmp.abcdef",
                               living.TemporaryPath().filename().string()}));
    ASSERT_TRUE(living.Write(abandoned));
    EXPECT_TRUE(living.Commit());
    EXPECT_EQ(ReadBytes(destination), abandoned);
}

// A folder on a full disk: a 64 KiB tmpfs filled up when the test may mount one, else the
// saving child's file size limit (RLIMIT_FSIZE) makes every write past 16 bytes fail.
class FullDisk {
  public:
    explicit FullDisk(const std::filesystem::path& folder) : folder_(folder) {
        std::filesystem::create_directory(folder_);
        mounted_ = ::mount("tmpfs", folder_.c_str(), "tmpfs", 0, "size=64k") == 0;
    }
    ~FullDisk() {
        if (mounted_) {
            std::error_code ignored;
            for (const auto& entry : std::filesystem::directory_iterator(folder_, ignored)) {
                std::filesystem::remove(entry.path(), ignored);
            }
            ::umount2(folder_.c_str(), MNT_DETACH);
        }
    }
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;

    // Takes what space is left, once the old files are in place.
    void Fill() {
        if (!mounted_) {
            return;
        }
        std::FILE* filler = std::fopen((folder_ / "filler").c_str(), "wb");
        ASSERT_NE(filler, nullptr);
        const std::vector<char> block(1024, 'f');
        while (std::fwrite(block.data(), 1, block.size(), filler) == block.size() &&
               std::fflush(filler) == 0) {
        }
        std::fclose(filler);
    }
    // Runs save in a child with the disk full; true when the child reported success.
    bool SaveInChild(const std::function<bool()>& save) const {
        const pid_t child = ::fork();
        if (child == 0) {
            if (!mounted_) {
                ::signal(SIGXFSZ, SIG_IGN);
                const rlimit limit{16, 16};
                ::setrlimit(RLIMIT_FSIZE, &limit);
            }
            ::_exit(save() ? 0 : 1);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    bool Mounted() const { return mounted_; }

  private:
    std::filesystem::path folder_;
    bool mounted_ = false;
};

TEST(CrashSafeSave, ADiskThatRunsFullKeepsTheOldFileAndNoTemporaryFile) {
    SaveWorld world;
    FullDisk disk(world.root / "full");
    std::printf("full disk by %s\n", disk.Mounted() ? "a 64 KiB tmpfs" : "RLIMIT_FSIZE");
    const auto folder = world.root / "full";
    const auto bitmap = folder / "picture.bmp";
    const auto jpeg = folder / "picture.jpg";
    const auto settings = folder / SETTINGS_FILE_NAME;
    const Bytes oldBitmap(3'000, 0x11);
    const Bytes oldJpeg = camsim::MakeSceneJpeg(64, 48, 3, 50);
    const std::string oldSettingsText = "[Mode]\nFILEPREV=1\nFILEINITPATH=/old\n";
    const Bytes oldSettings(oldSettingsText.begin(), oldSettingsText.end());
    WriteBytes(bitmap, oldBitmap);
    WriteBytes(jpeg, oldJpeg);
    WriteBytes(settings, oldSettings);
    disk.Fill();
    const std::set<std::string> namesBefore = FolderNames(folder);

    const SavePath paths[] = {world.Bitmap(bitmap), world.JpegWithExif(jpeg),
                              world.Settings(folder)};
    for (const SavePath& path : paths) {
        SCOPED_TRACE(path.name);
        EXPECT_FALSE(disk.SaveInChild([&] { return path.save(1); }));
        EXPECT_EQ(FolderNames(folder), namesBefore);
    }
    EXPECT_EQ(ReadBytes(bitmap), oldBitmap);
    EXPECT_EQ(ReadBytes(jpeg), oldJpeg);
    EXPECT_EQ(ReadBytes(settings), oldSettings);
}

}  // namespace
}  // namespace fotolyx
