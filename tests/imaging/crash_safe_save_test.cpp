// Saves that are killed or run out of disk: the destination keeps its old contents or gets the
// whole new ones, and no temporary file stays beside it once the next save has run. Saves that
// meet the user's own files: only the program's temporary files are ever removed, the file
// saved over keeps its identity, and what may not be replaced is refused with the reason.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
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
#include "support/program_world.h"

namespace fotolyx {
namespace {

using testing::Bytes;
using testing::FixedClock;
using testing::FixedFreeSpace;
using testing::ProgramWorld;
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
                    ProgramWorld world;
                    world.environment.programDirectory = programFolder;
                    world.environment.startDirectory = world.environment.tempDirectory = work;
                    Program program = world.Make();
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

TEST(CrashSafeSave, OnlyTheProgramsOwnAbandonedTemporaryFilesAreRemoved) {
    TempDir dir;
    const Bytes contents = {1, 2, 3};
    // The user's files, look-alikes of other shapes, and what a killed writer of this
    // destination left (the last).
    const std::vector<std::string> kept = {".photo.jpg.backup",
                                           ".photo.jpg.Draft1",
                                           ".photo.jpg.abcdef",
                                           ".photo.jpg.tmp123",
                                           ".photo.jpg.fotolyx-abc.part",
                                           ".photo.jpg.fotolyx-ab-cde.part",
                                           ".other.jpg.fotolyx-abcdef.part"};
    for (const auto& name : kept) {
        WriteBytes(dir / name, contents);
    }
    WriteBytes(dir / ".photo.jpg.fotolyx-Xy12zZ.part", contents);
    // The right shape, but another user's.
    const auto foreign = dir / ".photo.jpg.fotolyx-Fo12rN.part";
    WriteBytes(foreign, contents);
    const bool foreignOwned = ::chown(foreign.c_str(), 65534, 65534) == 0;
    AtomicFile living(dir / "photo.jpg");  // a writer still at work
    ASSERT_TRUE(living.IsOpen());

    ASSERT_TRUE(WriteFileAtomically(dir / "photo.jpg", contents));
    for (const auto& name : kept) {
        EXPECT_TRUE(std::filesystem::exists(dir / name)) << name;
    }
    EXPECT_FALSE(std::filesystem::exists(dir / ".photo.jpg.fotolyx-Xy12zZ.part"));
    EXPECT_EQ(std::filesystem::exists(foreign), foreignOwned);
    EXPECT_TRUE(std::filesystem::exists(living.TemporaryPath()));
}

mode_t ModeOf(const std::filesystem::path& path) {
    struct stat status {};
    ::lstat(path.c_str(), &status);
    return status.st_mode;
}

// Saves the picture as a 24-bit BMP through the Openfile window's Save As; true when the
// outcome is the expected one (written, or refused with a message holding refusal). With
// asOtherUser and root, it runs as user 65534: the rule is about rights root has anyway.
bool SaveBitmapAs(SaveWorld& world, const std::filesystem::path& path, const char* refusal,
                  bool asOtherUser) {
    const auto save = [&] {
        world.shell.scriptedSaveAnswers.push_back(
            SaveDialogResult{path.string(), SAVE_FILTER_FULL_COLOUR_BMP});
        const bool written =
            SaveAsFlow(world.context, SaveWindowKind::Openfile, SaveWorld::Picture(1), "x").written;
        const auto& messages = world.shell.messages;
        if (refusal == nullptr) {
            return written && messages.empty();
        }
        return !written && messages.size() == 1 && messages[0].caption == "ERROR" &&
               messages[0].text.find(refusal) != std::string::npos;
    };
    if (!asOtherUser || ::geteuid() != 0) {
        return save();
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::alarm(60);
        ::_exit(::setgid(65534) == 0 && ::setuid(65534) == 0 && save() ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(CrashSafeSave, ASaveKeepsTheFilesIdentityOrRefusesWhatItMayNotReplace) {
    constexpr std::uintmax_t NEW_SIZE = 921'654;  // the 640 x 480 24-bit BMP
    const Bytes old(700, 0x33);
    using Folder = const std::filesystem::path&;
    struct Row {
        const char* name;
        std::function<std::filesystem::path(Folder)> make;  // returns the path chosen
        const char* refusal;  // a part of the message, or nullptr when the save goes through
        bool asOtherUser;
        bool rootOnly;  // the set-up needs root
        std::function<bool(Folder)> holds;
    };
    const auto file = [&old](const char* name, mode_t mode, uid_t owner) {
        return [&old, name, mode, owner](Folder folder) {
            WriteBytes(folder / name, old);
            ::chmod((folder / name).c_str(), mode);
            if (owner != 0) {
                EXPECT_EQ(::chown((folder / name).c_str(), owner, owner), 0);
            }
            return folder / name;
        };
    };
    const Row rows[] = {
        {"a private file stays private", file("p.bmp", 0600, 0), nullptr, false, false,
         [](Folder folder) {
             return (ModeOf(folder / "p.bmp") & 07777) == 0600 &&
                    std::filesystem::file_size(folder / "p.bmp") == NEW_SIZE;
         }},
        {"owner, group and mode are kept", file("o.bmp", 0640, 65534), nullptr, false, true,
         [](Folder folder) {
             struct stat status {};
             ::stat((folder / "o.bmp").c_str(), &status);
             return status.st_uid == 65534 && status.st_gid == 65534 &&
                    (status.st_mode & 07777) == 0640;
         }},
        {"a link stays a link and its file gets the contents",
         [&old](Folder folder) {
             std::filesystem::create_directory(folder / "real");
             WriteBytes(folder / "real" / "r.bmp", old);
             std::filesystem::create_symlink("real/r.bmp", folder / "l.bmp");
             return folder / "l.bmp";
         },
         nullptr, false, false,
         [](Folder folder) {
             return std::filesystem::read_symlink(folder / "l.bmp") == "real/r.bmp" &&
                    std::filesystem::file_size(folder / "real" / "r.bmp") == NEW_SIZE &&
                    FolderNames(folder / "real") == std::set<std::string>{"r.bmp"};
         }},
        {"a read-only file is refused", file("ro.bmp", 0444, 0), "Cannot write", true, false,
         [&old](Folder folder) { return ReadBytes(folder / "ro.bmp") == old; }},
        {"a closed folder is refused",
         [](Folder folder) {
             std::filesystem::create_directory(folder / "closed");
             ::chmod((folder / "closed").c_str(), 0555);
             return folder / "closed" / "c.bmp";
         },
         "c.bmp: Permission denied.", true, false,
         [](Folder folder) { return std::filesystem::is_empty(folder / "closed"); }},
        {"a missing folder is named as such", [](Folder folder) { return folder / "no" / "m.bmp"; },
         "m.bmp: No such file or directory.", false, false,
         [](Folder folder) { return !std::filesystem::exists(folder / "no"); }},
        {"a file with two hard links is refused",
         [&old](Folder folder) {
             WriteBytes(folder / "h.bmp", old);
             std::filesystem::create_hard_link(folder / "h.bmp", folder / "h2.bmp");
             return folder / "h.bmp";
         },
         "2 hard links", false, false,
         [&old](Folder folder) { return ReadBytes(folder / "h2.bmp") == old; }},
        {"a named pipe is refused at once",
         [](Folder folder) {
             ::mkfifo((folder / "f.bmp").c_str(), 0644);
             return folder / "f.bmp";
         },
         "it is a named pipe", false, false,
         [](Folder folder) { return S_ISFIFO(ModeOf(folder / "f.bmp")); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.rootOnly && ::geteuid() != 0) {
            continue;
        }
        SaveWorld world;
        ::chmod(world.root.path().c_str(), 0755);  // another user must reach the folders
        ::chmod(world.pictures.c_str(), 0777);
        const std::filesystem::path chosen = row.make(world.pictures);
        EXPECT_TRUE(SaveBitmapAs(world, chosen, row.refusal, row.asOtherUser));
        EXPECT_TRUE(row.holds(world.pictures));
        for (const auto& entry : std::filesystem::recursive_directory_iterator(world.pictures)) {
            EXPECT_EQ(entry.path().string().find(".fotolyx-"), std::string::npos);
        }
    }
}

TEST(CrashSafeSave, TheNewFileNeedsItsWholeSizeFreeBesideTheOldOne) {
    struct Row {
        std::size_t oldSize;  // 0: no old file
        std::uint64_t available;
        int result;  // for a new file of 20,000 bytes
    };
    const Row rows[] = {
        {50'000, 19'999, -1}, {50'000, 20'000, 1}, {0, 19'999, -1}, {10'000, 15'000, -1}};
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << row.oldSize << " old, " << row.available);
        SaveWorld world;
        const auto destination = world.pictures / "d.jpg";
        const Bytes old(row.oldSize, 1);
        if (row.oldSize != 0) {
            WriteBytes(destination, old);
        }
        WriteBytes(world.work / "new", Bytes(20'000, 2));
        world.freeSpace.available = row.available;
        EXPECT_EQ(ReplaceFileSafely(world.context, destination, world.work / "new"), row.result);
        EXPECT_EQ(ReadBytes(destination), row.result == 1 ? Bytes(20'000, 2) : old);
    }
}

TEST(CrashSafeSave, SettingsSurviveAByteOrderMarkLineBreaksLongPathsAndALink) {
    const std::string bom = "\xEF\xBB\xBF";
    const std::string longPath = "/" + std::string(300, 'p') + "/" + std::string(200, 'q');
    struct Row {
        std::string before;  // the file as the user left it (through a link when linked)
        bool linked;
        std::string chosen;  // the Open dialog's folder at exit
        std::string read;    // FILEINITPATH as read
        std::string after;   // the file after the exit
    };
    const Row rows[] = {
        {bom + "[Mode]\r\nFILEPREV=0\r\nFILEINITPATH=/kept\r\n", false, "/kept", "/kept",
         bom + "[Mode]\nFILEPREV=0\nFILEINITPATH=/kept\n"},
        {"[Mode]\nFILEPREV=0\nFILEINITPATH=/old\n", false, "/new\nFILEPREV=1", "/old",
         "[Mode]\nFILEPREV=0\nFILEINITPATH=/old\n"},
        {"[Mode]\nFILEINITPATH=" + longPath + "\n", false, longPath + "/r", longPath,
         "[Mode]\nFILEINITPATH=" + longPath + "/r\nFILEPREV=0\n"},
        {"[Mode]\nFILEPREV=0\nFILEINITPATH=/l\n", true, "/m", "/l",
         "[Mode]\nFILEPREV=0\nFILEINITPATH=/m\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.before);
        SaveWorld world;
        const auto settings = world.work / SETTINGS_FILE_NAME;
        const auto file = row.linked ? world.pictures / "real.ini" : settings;
        WriteBytes(file, Bytes(row.before.begin(), row.before.end()));
        if (row.linked) {
            std::filesystem::create_symlink(file, settings);
        }
        ProgramWorld programWorld;
        programWorld.environment.programDirectory = world.work;
        programWorld.environment.startDirectory = programWorld.environment.tempDirectory =
            world.work;
        Program program = programWorld.Make();
        program.Startup();
        EXPECT_EQ(program.settings.OpenInitialDir, row.read);
        program.settings.OpenInitialDir = row.chosen;
        program.Shutdown();
        EXPECT_EQ(std::filesystem::is_symlink(settings), row.linked);
        const Bytes after = ReadBytes(file);
        EXPECT_EQ(std::string(after.begin(), after.end()), row.after);
    }
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
