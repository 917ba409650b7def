// Saves that are killed, run out of disk or meet the user's own files.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <random>
#include <set>
#include <string>

#include "imaging/atomic_file.h"
#include "imaging/bmp_file.h"
#include "imaging/exif_save.h"
#include "ports/file_error.h"
#include "support/picture_files.h"
#include "support/save_world.h"

namespace fotolyx {
namespace {

using testing::Bytes;
using testing::ReadBytes;
using testing::WriteBytes;

std::set<std::string> FolderNames(const std::filesystem::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

// Runs work in a child whose file size limit fails writes past limit bytes, as a full disk does.
bool OnAFullDisk(rlim_t limit, const std::function<bool()>& work) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit fileSize{limit, limit};
        ::setrlimit(RLIMIT_FSIZE, &fileSize);
        ::_exit(work() ? 0 : 1);
    }
    int status = 0;
    return ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The user's pictures in a folder of their own, away from the program's scratch files.
struct World : testing::SaveWorld {
    std::filesystem::path pictures = dir / "pictures";

    World() { std::filesystem::create_directory(pictures); }

    static DibBlock Picture(int version) {
        return testing::MakePicture(640, 480,
                                    [version](int, int) { return testing::Grey(0x40 + version); });
    }
};

// Kills a child saving two versions in turn at random points; the destination stays whole.
void KillSavesAtRandomPoints(const std::function<bool(int)>& save,
                             const std::filesystem::path& destination, std::mt19937& random) {
    const std::set<std::string> namesBefore = FolderNames(destination.parent_path());
    const Bytes old = ReadBytes(destination);
    Bytes versions[2];
    const auto start = std::chrono::steady_clock::now();
    for (int version = 0; version < 2; ++version) {
        ASSERT_TRUE(save(version));
        versions[version] = ReadBytes(destination);
    }
    const auto twoSaves = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - start);
    ASSERT_NE(versions[0], versions[1]);
    WriteBytes(destination, old);
    std::uniform_int_distribution<long> delay(0, 2 * twoSaves.count() + 1000);
    for (int round = 0; round < 12; ++round) {
        const long delayUs = delay(random);
        SCOPED_TRACE(::testing::Message() << "killed after " << delayUs << " us");
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int version = 0;; version ^= 1) {
                save(version);
            }
        }
        ::usleep(static_cast<useconds_t>(delayUs));
        ::kill(child, SIGKILL);
        ASSERT_EQ(::waitpid(child, nullptr, 0), child);
        const Bytes now = ReadBytes(destination);
        EXPECT_TRUE(now == old || now == versions[0] || now == versions[1])
            << "the destination holds " << now.size() << " bytes of no complete file";
        ASSERT_TRUE(save(round % 2));
        EXPECT_EQ(ReadBytes(destination), versions[round % 2]);
        EXPECT_EQ(FolderNames(destination.parent_path()), namesBefore);
    }
}

TEST(CrashSafeSave, KilledSavesLeaveTheOldOrTheNewFileAndNoTemporaryFile) {
    World world;
    std::mt19937 random(20'021'206);
    const auto bitmap = world.pictures / "picture.bmp";
    WriteBytes(bitmap, Bytes(5'000, 0x55));
    const auto save = [&bitmap](int version) {
        return WriteDibFile(bitmap, World::Picture(version)) == 1;
    };
    KillSavesAtRandomPoints(save, bitmap, random);
}

TEST(CrashSafeSave, ADiskThatRunsFullKeepsTheOldFileAndNoTemporaryFile) {
    World world;
    const Bytes old(3'000, 0x11);
    WriteBytes(world.Path("new"), Bytes(20'000, 2));
    const struct {
        const char* name;
        std::function<bool(const std::filesystem::path&)> failsAsItShould;
    } rows[] = {
        {"bitmap",
         [](const std::filesystem::path& path) {
             int code = 0;
             return WriteDibFile(path, World::Picture(1), &code) == 0 && code == FILE_ERROR_WRITE;
         }},
        {"replacement",
         [&](const auto& path) {
             return ReplaceFileSafely(world.context, path, world.Path("new")) == 0 &&
                    !std::filesystem::exists(world.Path("new"));
         }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto destination = world.pictures / row.name;
        WriteBytes(destination, old);
        const std::set<std::string> namesBefore = FolderNames(world.pictures);
        EXPECT_TRUE(OnAFullDisk(10'000, [&] { return row.failsAsItShould(destination); }));
        EXPECT_EQ(ReadBytes(destination), old);
        EXPECT_EQ(FolderNames(world.pictures), namesBefore);
    }
}

TEST(CrashSafeSave, OnlyTheProgramsOwnAbandonedTemporaryFilesAreRemoved) {
    testing::TempDir dir;
    const Bytes contents = {1, 2, 3};
    // The user's files and look-alikes of other shapes or of another destination.
    const char* kept[] = {".photo.jpg.backup",
                          ".photo.jpg.Draft1",
                          ".photo.jpg.abcdef",
                          ".photo.jpg.tmp123",
                          ".photo.jpg.fotolyx-abc.part",
                          ".photo.jpg.fotolyx-ab-cde.part",
                          ".other.jpg.fotolyx-abcdef.part"};
    for (const char* name : kept) {
        WriteBytes(dir / name, contents);
    }
    WriteBytes(dir / ".photo.jpg.fotolyx-Xy12zZ.part", contents);  // a killed writer's
    const auto foreign = dir / ".photo.jpg.fotolyx-Fo12rN.part";   // another user's
    WriteBytes(foreign, contents);
    const bool foreignOwned = ::chown(foreign.c_str(), 65534, 65534) == 0;
    AtomicFile living(dir / "photo.jpg");  // a writer still at work
    ASSERT_TRUE(living.IsOpen());

    ASSERT_TRUE(WriteFileAtomically(dir / "photo.jpg", contents));
    for (const char* name : kept) {
        EXPECT_TRUE(std::filesystem::exists(dir / name)) << name;
    }
    EXPECT_FALSE(std::filesystem::exists(dir / ".photo.jpg.fotolyx-Xy12zZ.part"));
    EXPECT_EQ(std::filesystem::exists(foreign), foreignOwned);
    EXPECT_TRUE(std::filesystem::exists(living.TemporaryPath()));
}

TEST(CrashSafeSave, NamesUpToTheLongestAllowedGetATemporaryFileBeside) {
    testing::TempDir dir;
    for (const std::size_t length : {200u, 240u, 255u}) {
        const auto path = dir / (std::string(length - 4, 'n') + ".jpg");
        const Bytes contents = {1, 2, static_cast<std::uint8_t>(length)};
        std::string error;
        ASSERT_TRUE(WriteFileAtomically(path, contents, &error)) << length << ": " << error;
        EXPECT_EQ(ReadBytes(path), contents);
    }
    EXPECT_EQ(FolderNames(dir.path()).size(), 3u);
}

// Saves a 24-bit BMP through Save As; true when written, or refused with refusal in the message.
bool SaveBitmapAs(World& world, const std::filesystem::path& path, const char* refusal) {
    world.shell.scriptedSaveAnswers.push_back(
        SaveDialogResult{path.string(), SAVE_FILTER_FULL_COLOUR_BMP});
    const bool written =
        SaveAsFlow(world.context, SaveWindowKind::Openfile, World::Picture(1), "x").written;
    const auto& messages = world.shell.messages;
    return refusal == nullptr
               ? written && messages.empty()
               : !written && messages.size() == 1 && messages[0].caption == "ERROR" &&
                     messages[0].text.find(refusal) != std::string::npos;
}

mode_t ModeOf(const std::filesystem::path& path) {
    struct stat status {};
    ::lstat(path.c_str(), &status);
    return status.st_mode;
}

TEST(CrashSafeSave, ASaveKeepsTheFilesIdentityOrRefusesWhatItMayNotReplace) {
    constexpr std::uintmax_t NEW_SIZE = 921'654;  // the 640 x 480 24-bit BMP
    const Bytes old(700, 0x33);
    using Folder = const std::filesystem::path&;
    const struct {
        const char* name;
        std::function<std::filesystem::path(Folder)> make;  // returns the path chosen
        const char* refusal;  // a part of the message, or nullptr when the save goes through
        std::function<bool(Folder)> holds;
    } rows[] = {
        {"a private file stays private",
         [&old](Folder folder) {
             WriteBytes(folder / "p.bmp", old);
             ::chmod((folder / "p.bmp").c_str(), 0600);
             return folder / "p.bmp";
         },
         nullptr,
         [](Folder folder) {
             return (ModeOf(folder / "p.bmp") & 07777) == 0600 &&
                    std::filesystem::file_size(folder / "p.bmp") == NEW_SIZE;
         }},
        {"a link stays a link and its file gets the contents",
         [&old](Folder folder) {
             std::filesystem::create_directory(folder / "real");
             WriteBytes(folder / "real" / "r.bmp", old);
             std::filesystem::create_symlink("real/r.bmp", folder / "l.bmp");
             return folder / "l.bmp";
         },
         nullptr,
         [](Folder folder) {
             return std::filesystem::read_symlink(folder / "l.bmp") == "real/r.bmp" &&
                    std::filesystem::file_size(folder / "real" / "r.bmp") == NEW_SIZE &&
                    FolderNames(folder / "real") == std::set<std::string>{"r.bmp"};
         }},
        {"a file with two hard links is refused",
         [&old](Folder folder) {
             WriteBytes(folder / "h.bmp", old);
             std::filesystem::create_hard_link(folder / "h.bmp", folder / "h2.bmp");
             return folder / "h.bmp";
         },
         "2 hard links", [&old](Folder folder) { return ReadBytes(folder / "h2.bmp") == old; }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        World world;
        EXPECT_TRUE(SaveBitmapAs(world, row.make(world.pictures), row.refusal));
        EXPECT_TRUE(row.holds(world.pictures));
        for (const auto& entry : std::filesystem::recursive_directory_iterator(world.pictures)) {
            EXPECT_EQ(entry.path().string().find(".fotolyx-"), std::string::npos);
        }
    }
}

}  // namespace
}  // namespace fotolyx
