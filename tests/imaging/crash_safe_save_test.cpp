// Saves that are killed or run out of disk: the destination keeps its old contents or gets the
// whole new ones, and no temporary file stays beside it once the next save has run. Saves that
// meet the user's own files: only the program's temporary files are ever removed, the file
// saved over keeps its identity, and what may not be replaced is refused with the reason.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
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

TEST(CrashSafeSave, OnlyTheProgramsOwnAbandonedTemporaryFilesAreRemoved) {
    struct Row {
        const char* name;
        bool removed;
    };
    const Row rows[] = {
        // The user's own files beside the destination, whatever they look like.
        {".photo.jpg.backup", false},
        {".photo.jpg.Draft1", false},
        {".photo.jpg.abcdef", false},
        {".photo.jpg.tmp123", false},
        {"photo.jpg.fotolyx-abcdef.part", false},
        {".photo.jpg.fotolyx-abc.part", false},
        {".photo.jpg.fotolyx-abcdefg.part", false},
        {".photo.jpg.fotolyx-ab-cde.part", false},
        {".photo.jpg.fotolyx-abcdef.tmp", false},
        {".other.jpg.fotolyx-abcdef.part", false},
        // What a killed writer of this destination left.
        {".photo.jpg.fotolyx-Xy12zZ.part", true},
    };
    TempDir dir;
    const auto destination = dir / "photo.jpg";
    const Bytes contents = {1, 2, 3};
    for (const Row& row : rows) {
        WriteBytes(dir / row.name, contents);
    }
    // One of the right shape that another user's writer left is not ours to remove.
    const auto foreign = dir / ".photo.jpg.fotolyx-Fo12rN.part";
    WriteBytes(foreign, contents);
    const bool foreignOwned = ::chown(foreign.c_str(), 65534, 65534) == 0;
    AtomicFile living(destination);  // a writer still at work
    ASSERT_TRUE(living.IsOpen());

    ASSERT_TRUE(WriteFileAtomically(destination, contents));

    for (const Row& row : rows) {
        EXPECT_EQ(std::filesystem::exists(dir / row.name), !row.removed) << row.name;
    }
    EXPECT_EQ(std::filesystem::exists(foreign), foreignOwned);
    EXPECT_TRUE(std::filesystem::exists(living.TemporaryPath()));
    ASSERT_TRUE(living.Write(Bytes{4}));
    EXPECT_TRUE(living.Commit());
    EXPECT_EQ(ReadBytes(destination), Bytes{4});
}

// What a Save As (Openfile window, 24-bit BMP) did, run by another user when asked and possible.
struct SaveOutcome {
    bool written = false;
    std::string message;  // the first message box, if any
    std::string caption;
};

SaveOutcome SaveBitmapAs(SaveWorld& world, const std::filesystem::path& path, bool asOtherUser) {
    const auto save = [&world, &path] {
        world.shell.scriptedSaveAnswers.push_back(
            SaveDialogResult{path.string(), SAVE_FILTER_FULL_COLOUR_BMP});
        world.shell.messages.clear();
        SaveOutcome outcome;
        outcome.written =
            SaveAsFlow(world.context, SaveWindowKind::Openfile, SaveWorld::Picture(1), "x").written;
        if (!world.shell.messages.empty()) {
            outcome.message = world.shell.messages[0].text;
            outcome.caption = world.shell.messages[0].caption;
        }
        return outcome;
    };
    if (!asOtherUser || ::geteuid() != 0) {
        return save();
    }
    // Root may write anything: the rule is seen as a user without that right sees it.
    int fds[2];
    EXPECT_EQ(::pipe(fds), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        ::alarm(60);
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) {
            ::_exit(3);
        }
        const SaveOutcome outcome = save();
        const std::string text = outcome.caption + "\n" + outcome.message;
        [[maybe_unused]] const auto written = ::write(fds[1], text.data(), text.size());
        ::_exit(outcome.written ? 0 : 1);
    }
    ::close(fds[1]);
    std::string text;
    char buffer[512];
    for (ssize_t got; (got = ::read(fds[0], buffer, sizeof buffer)) > 0;) {
        text.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    SaveOutcome outcome;
    outcome.written = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    const std::size_t newline = text.find('\n');
    if (newline != std::string::npos) {
        outcome.caption = text.substr(0, newline);
        outcome.message = text.substr(newline + 1);
    }
    return outcome;
}

constexpr std::size_t NEW_SIZE = 921'654;  // the 640 x 480 24-bit BMP

mode_t ModeOf(const std::filesystem::path& path) {
    struct stat status {};
    ::lstat(path.c_str(), &status);
    return status.st_mode;
}

TEST(CrashSafeSave, ASaveKeepsTheFilesIdentityOrRefusesWhatItMayNotReplace) {
    const Bytes old(700, 0x33);
    struct Row {
        const char* name;
        // Makes the destination in the folder and returns the path the user chooses.
        std::function<std::filesystem::path(const std::filesystem::path&)> make;
        const char* refusal;  // a part of the message, or nullptr when the save goes through
        bool asOtherUser;     // the rule is about rights root has anyway
        bool rootOnly;        // setting the case up needs root
        // Checks the folder afterwards.
        std::function<void(const std::filesystem::path&)> check;
    };
    const auto file = [&old](const char* name, mode_t mode) {
        return [&old, name, mode](const std::filesystem::path& folder) {
            WriteBytes(folder / name, old);
            ::chmod((folder / name).c_str(), mode);
            return folder / name;
        };
    };
    const auto keptOld = [&old](const char* name) {
        return [&old, name](const std::filesystem::path& folder) {
            EXPECT_EQ(ReadBytes(folder / name), old);
        };
    };
    const Row rows[] = {
        {"a private file stays private", file("p.bmp", 0600), nullptr, false, false,
         [](const std::filesystem::path& folder) {
             EXPECT_EQ(ModeOf(folder / "p.bmp") & 07777, 0600u);
             EXPECT_EQ(ReadBytes(folder / "p.bmp").size(), NEW_SIZE);
         }},
        {"a group-readable file keeps its bits", file("g.bmp", 0640), nullptr, false, false,
         [](const std::filesystem::path& folder) {
             EXPECT_EQ(ModeOf(folder / "g.bmp") & 07777, 0640u);
         }},
        {"owner and group are kept",
         [&old](const std::filesystem::path& folder) {
             WriteBytes(folder / "o.bmp", old);
             ::chmod((folder / "o.bmp").c_str(), 0640);
             EXPECT_EQ(::chown((folder / "o.bmp").c_str(), 65534, 65534), 0);
             return folder / "o.bmp";
         },
         nullptr, false, true,
         [](const std::filesystem::path& folder) {
             struct stat status {};
             ASSERT_EQ(::stat((folder / "o.bmp").c_str(), &status), 0);
             EXPECT_EQ(status.st_uid, 65534u);
             EXPECT_EQ(status.st_gid, 65534u);
             EXPECT_EQ(status.st_mode & 07777, 0640u);
         }},
        {"a link stays a link and its file gets the contents",
         [&old](const std::filesystem::path& folder) {
             std::filesystem::create_directory(folder / "real");
             WriteBytes(folder / "real" / "r.bmp", old);
             std::filesystem::create_symlink("real/r.bmp", folder / "l.bmp");
             return folder / "l.bmp";
         },
         nullptr, false, false,
         [](const std::filesystem::path& folder) {
             ASSERT_TRUE(std::filesystem::is_symlink(folder / "l.bmp"));
             EXPECT_EQ(std::filesystem::read_symlink(folder / "l.bmp"), "real/r.bmp");
             EXPECT_EQ(ReadBytes(folder / "real" / "r.bmp").size(), NEW_SIZE);
             EXPECT_EQ(FolderNames(folder / "real"), std::set<std::string>{"r.bmp"});
         }},
        {"a link to a missing file makes that file",
         [](const std::filesystem::path& folder) {
             std::filesystem::create_symlink(folder / "made.bmp", folder / "d.bmp");
             return folder / "d.bmp";
         },
         nullptr, false, false,
         [](const std::filesystem::path& folder) {
             EXPECT_TRUE(std::filesystem::is_symlink(folder / "d.bmp"));
             EXPECT_EQ(ReadBytes(folder / "made.bmp").size(), NEW_SIZE);
         }},
        {"a read-only file is refused", file("ro.bmp", 0444), "Cannot write", true, false,
         keptOld("ro.bmp")},
        {"a folder that may not be written is refused",
         [](const std::filesystem::path& folder) {
             std::filesystem::create_directory(folder / "closed");
             ::chmod((folder / "closed").c_str(), 0555);
             return folder / "closed" / "c.bmp";
         },
         "Cannot create", true, false,
         [](const std::filesystem::path& folder) {
             EXPECT_TRUE(std::filesystem::is_empty(folder / "closed"));
         }},
        {"a missing folder is named as such",
         [](const std::filesystem::path& folder) { return folder / "no" / "such" / "m.bmp"; },
         "m.bmp: No such file or directory.", false, false,
         [](const std::filesystem::path& folder) {
             EXPECT_FALSE(std::filesystem::exists(folder / "no"));
         }},
        {"a file with two hard links is refused",
         [&old](const std::filesystem::path& folder) {
             WriteBytes(folder / "h.bmp", old);
             std::filesystem::create_hard_link(folder / "h.bmp", folder / "h2.bmp");
             return folder / "h.bmp";
         },
         "2 hard links", false, false,
         [&old](const std::filesystem::path& folder) {
             EXPECT_EQ(ReadBytes(folder / "h2.bmp"), old);
             EXPECT_EQ(std::filesystem::hard_link_count(folder / "h.bmp"), 2u);
         }},
        {"a named pipe is refused at once",
         [](const std::filesystem::path& folder) {
             ::mkfifo((folder / "f.bmp").c_str(), 0644);
             return folder / "f.bmp";
         },
         "it is a named pipe", false, false,
         [](const std::filesystem::path& folder) {
             EXPECT_TRUE(S_ISFIFO(ModeOf(folder / "f.bmp")));
         }},
        {"a folder is refused",
         [](const std::filesystem::path& folder) {
             std::filesystem::create_directory(folder / "dir.bmp");
             return folder / "dir.bmp";
         },
         "it is a folder", false, false,
         [](const std::filesystem::path& folder) {
             EXPECT_TRUE(std::filesystem::is_empty(folder / "dir.bmp"));
         }},
        {"a socket is refused",
         [](const std::filesystem::path& folder) {
             const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
             sockaddr_un address{};
             address.sun_family = AF_UNIX;
             std::snprintf(address.sun_path, sizeof address.sun_path, "%s",
                           (folder / "s.bmp").c_str());
             ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
             ::close(fd);
             return folder / "s.bmp";
         },
         "it is a socket", false, false,
         [](const std::filesystem::path& folder) {
             EXPECT_TRUE(S_ISSOCK(ModeOf(folder / "s.bmp")));
         }},
        {"a device is refused",
         [](const std::filesystem::path& folder) {
             EXPECT_EQ(::mknod((folder / "n.bmp").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
             return folder / "n.bmp";
         },
         "it is a device", false, true,
         [](const std::filesystem::path& folder) {
             EXPECT_TRUE(S_ISCHR(ModeOf(folder / "n.bmp")));
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.rootOnly && ::geteuid() != 0) {
            continue;
        }
        SaveWorld world;
        // Another user must reach the folders.
        ::chmod(world.root.path().c_str(), 0755);
        ::chmod(world.pictures.c_str(), 0777);
        const std::filesystem::path chosen = row.make(world.pictures);
        const auto start = std::chrono::steady_clock::now();
        const SaveOutcome outcome = SaveBitmapAs(world, chosen, row.asOtherUser);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
        if (row.refusal == nullptr) {
            EXPECT_TRUE(outcome.written) << outcome.message;
            EXPECT_EQ(outcome.message, "");
        } else {
            EXPECT_FALSE(outcome.written);
            EXPECT_NE(outcome.message.find(row.refusal), std::string::npos) << outcome.message;
            EXPECT_EQ(outcome.caption, "ERROR");
        }
        row.check(world.pictures);
        // No temporary file stays anywhere in the picture folder.
        for (const auto& entry : std::filesystem::recursive_directory_iterator(world.pictures)) {
            EXPECT_EQ(entry.path().filename().string().find(".fotolyx-"), std::string::npos)
                << entry.path();
        }
    }
}

TEST(CrashSafeSave, TheNewFileNeedsItsWholeSizeFreeBesideTheOldOne) {
    struct Row {
        std::size_t oldSize;  // 0: no old file
        std::size_t newSize;
        std::uint64_t available;
        int result;
    };
    const Row rows[] = {
        {50'000, 20'000, 19'999, -1}, {50'000, 20'000, 20'000, 1},  {0, 20'000, 19'999, -1},
        {0, 20'000, 20'000, 1},       {10'000, 20'000, 15'000, -1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << row.oldSize << " -> " << row.newSize << " with "
                                          << row.available << " free");
        SaveWorld world;
        const auto destination = world.pictures / "d.jpg";
        const Bytes old(row.oldSize, 1);
        if (row.oldSize != 0) {
            WriteBytes(destination, old);
        }
        WriteBytes(world.work / "new", Bytes(row.newSize, 2));
        world.freeSpace.available = row.available;
        EXPECT_EQ(ReplaceFileSafely(world.context, destination, world.work / "new"), row.result);
        if (row.result == 1) {
            EXPECT_EQ(ReadBytes(destination), Bytes(row.newSize, 2));
        } else {
            EXPECT_EQ(std::filesystem::exists(destination), row.oldSize != 0);
            EXPECT_EQ(ReadBytes(destination), old);
        }
        EXPECT_FALSE(std::filesystem::exists(world.work / "new"));
    }
}

TEST(CrashSafeSave, SettingsSurviveAByteOrderMarkLineBreaksLongPathsAndALink) {
    const std::string longPath = "/" + std::string(300, 'p') + "/" + std::string(200, 'q');
    struct Row {
        const char* name;
        std::string before;        // the file as the user left it
        bool linked;               // snapcfg.ini is a link to settings/real.ini
        std::string folderChosen;  // the Open dialog's folder at exit ("" keeps it)
        bool previewRead;          // FILEPREV as read
        std::string folderRead;    // FILEINITPATH as read
        std::string after;         // the file after the exit
    };
    const Row rows[] = {
        {"byte-order mark", "\xEF\xBB\xBF[Mode]\r\nFILEPREV=1\r\nFILEINITPATH=/kept\r\n", false, "",
         true, "/kept", "\xEF\xBB\xBF[Mode]\nFILEPREV=1\nFILEINITPATH=/kept\n"},
        {"a folder name with a line break keeps the old value",
         "[Mode]\nFILEPREV=0\nFILEINITPATH=/old\n", false, "/new\nFILEPREV=1", false, "/old",
         "[Mode]\nFILEPREV=0\nFILEINITPATH=/old\n"},
        {"a long path is read and written whole",
         "[Mode]\nFILEPREV=0\nFILEINITPATH=" + longPath + "\n", false, longPath + "/r", false,
         longPath, "[Mode]\nFILEPREV=0\nFILEINITPATH=" + longPath + "/r\n"},
        {"a linked settings file stays a link", "[Mode]\nFILEPREV=1\nFILEINITPATH=/l\n", true, "/m",
         true, "/l", "[Mode]\nFILEPREV=1\nFILEINITPATH=/m\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SaveWorld world;
        const auto programFolder = world.root / "program";
        std::filesystem::create_directory(programFolder);
        const auto settings = programFolder / SETTINGS_FILE_NAME;
        const auto real = world.root / "settings" / "real.ini";
        std::filesystem::create_directory(real.parent_path());
        WriteBytes(row.linked ? real : settings, Bytes(row.before.begin(), row.before.end()));
        if (row.linked) {
            std::filesystem::create_symlink(real, settings);
        }
        RecordingTimers timers;
        ScriptedLine line;
        HostEnvironment environment;
        environment.programDirectory = programFolder;
        environment.startDirectory = world.work;
        environment.tempDirectory = world.work;
        Program program(Ports{world.shell, timers, line, world.clock, world.memory}, environment);
        program.Startup();
        EXPECT_EQ(program.settings.FilePreviewEnabled, row.previewRead);
        EXPECT_EQ(program.settings.OpenInitialDir, row.folderRead);
        if (!row.folderChosen.empty()) {
            program.settings.OpenInitialDir = row.folderChosen;
        }
        program.Shutdown();
        EXPECT_EQ(std::filesystem::is_symlink(settings), row.linked);
        const Bytes after = ReadBytes(row.linked ? real : settings);
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
