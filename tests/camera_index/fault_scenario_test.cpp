#include <gtest/gtest.h>

#include <algorithm>

#include "camera_index/pictures_run.h"
#include "link/link_setup.h"

namespace fotolyx {
namespace {

using testing::PicturesRun;

// Faults during the index transfer: each ends with the whole index, or in the disconnect
// dialog whose Reconnect brings the whole index.
TEST(PicturesFaults, TheIndexTransferRecoversFromEveryFault) {
    struct Case {
        const char* fault;
        std::function<void(camsim::CameraFaults&)> set;
        bool disconnects;
    };
    // The set-up costs three messages; the index request three READY; then the entries.
    const std::vector<Case> cases = {
        {"garbled entry header", [](auto& f) { f.garbleMessage = 6; }, false},
        {"garbled thumbnail packet", [](auto& f) { f.garbleMessage = 9; }, false},
        {"eleven garbled packets", [](auto& f) { f.garbleMessage = 9, f.garbleCount = 11; }, false},
        {"wrong sequence number", [](auto& f) { f.wrongSequenceMessage = 10; }, false},
        {"dropped byte", [](auto& f) { f.dropByteMessage = 12; }, false},
        {"garbled READY", [](auto& f) { f.garbleMessage = 4; }, false},
        {"silence", [](auto& f) { f.silentAfterMessages = 30; }, true},
        {"pulled cable", [](auto& f) { f.hangUpAfterMessages = 30; }, true},
    };
    for (const auto& c : cases) {
        auto samples = camsim::MakeSamplePictures(4);
        camsim::CameraConfig config;
        config.pictures = samples;
        c.set(config.faults);
        testing::LinkSession session;
        auto& camera = session.AddCamera(PORT_COM1, config);
        Program& program = session.Start();
        auto& pictures = program.cameraPictures;
        const bool loaded = session.RunUntil([&] { return pictures.index.IndexLoaded; }, 20'000);
        EXPECT_EQ(loaded, !c.disconnects) << c.fault;
        EXPECT_EQ(session.DialogShown(LinkDialog::ComDisconnect), c.disconnects) << c.fault;
        if (c.disconnects) {
            EXPECT_FALSE(pictures.index.IndexTransferActive &&
                         session.loop.TimerRunning(PREVIEW_WINDOW, WATCHDOG_TIMER))
                << c.fault;
            const bool pulled = camera.CablePulled();
            program.linkSetup.DisconnectReconnect();
            if (pulled) {
                // Nothing to find any more: the scan ends in the reconnect dialog.
                EXPECT_TRUE(session.RunUntil(
                    [&] { return session.DialogShown(LinkDialog::ComReconnect); }, 20'000))
                    << c.fault;
                continue;
            }
            ASSERT_TRUE(session.RunUntil([&] { return pictures.index.IndexLoaded; }, 20'000))
                << c.fault;
        }
        EXPECT_EQ(pictures.index.receivedCount, 4) << c.fault;
        for (unsigned p = 0; p < 4; ++p) {
            EXPECT_EQ(
                pictures.index.entries[p].fileName,
                FormatFileName(p, p % 2 == 0, EntryDate{2, 5, 17, 14, 5 + static_cast<int>(p)}))
                << c.fault;
        }
    }
}

// Faults during a save-after-download: the picture either arrives whole and is saved, or the
// window is closed unsaved; nothing half-received is ever written.
TEST(PicturesFaults, ADownloadRecoversOrSavesNothing) {
    struct Case {
        const char* fault;
        std::function<void(camsim::CameraFaults&, std::uint32_t)> set;
        bool saved;
    };
    const std::vector<Case> cases = {
        {"garbled data packet", [](auto& f, std::uint32_t at) { f.garbleMessage = at + 10; }, true},
        {"eleven garbled packets",
         [](auto& f, std::uint32_t at) { f.garbleMessage = at + 10, f.garbleCount = 11; }, true},
        {"wrong sequence number",
         [](auto& f, std::uint32_t at) { f.wrongSequenceMessage = at + 20; }, true},
        {"dropped byte", [](auto& f, std::uint32_t at) { f.dropByteMessage = at + 30; }, true},
        {"garbled READY", [](auto& f, std::uint32_t at) { f.garbleMessage = at + 1; }, true},
        {"silence", [](auto& f, std::uint32_t at) { f.silentAfterMessages = at + 40; }, false},
        {"pulled cable", [](auto& f, std::uint32_t at) { f.hangUpAfterMessages = at + 40; }, false},
    };
    // The same picture saved over a clean line: a fault may delay the save, never change it.
    std::vector<std::uint8_t> clean;
    {
        PicturesRun run(2);
        ASSERT_TRUE(run.loaded);
        const auto cleanTarget = run.session.root / "clean.bmp";
        run.session.shell.scriptedSaveAnswers.push_back(
            SaveDialogResult{cleanTarget.string(), SAVE_FILTER_FULL_COLOUR_BMP});
        run.Click(0);
        run.preview().Command(CMD_SAVE_AS);
        run.session.RunUntil([&] { return std::filesystem::exists(cleanTarget); }, 60'000);
        clean = testing::ReadBytes(cleanTarget);
        ASSERT_EQ(clean.size(), 54u + 640 * 480 * 3);
    }
    for (const auto& c : cases) {
        PicturesRun run(2);
        ASSERT_TRUE(run.loaded) << c.fault;
        c.set(run.camera->Faults(), run.camera->MessagesSent());
        const auto target = run.session.root / "picture.bmp";
        run.session.shell.scriptedSaveAnswers.push_back(
            SaveDialogResult{target.string(), SAVE_FILTER_FULL_COLOUR_BMP});
        run.Click(0);
        run.preview().Command(CMD_SAVE_AS);
        run.session.RunUntil(
            [&] {
                return std::filesystem::exists(target) ||
                       run.session.DialogShown(LinkDialog::ComDisconnect);
            },
            60'000);
        EXPECT_EQ(std::filesystem::exists(target), c.saved) << c.fault;
        EXPECT_EQ(run.session.DialogShown(LinkDialog::ComDisconnect), !c.saved) << c.fault;
        if (c.saved) {
            EXPECT_TRUE(testing::ReadBytes(target) == clean)
                << c.fault << ": not the picture as sent";
            EXPECT_TRUE(run.pictures().CaptureWindows().empty()) << c.fault;
            continue;
        }
        // Reconnect closes the waiting window; no file appears later on.
        run.program().linkSetup.DisconnectReconnect();
        EXPECT_TRUE(run.pictures().CaptureWindows().empty()) << c.fault;
        EXPECT_FALSE(run.pictures().PleaseWaitDialog().has_value()) << c.fault;
        run.session.loop.RunFor(10'000);
        EXPECT_FALSE(std::filesystem::exists(target)) << c.fault;
    }
}

}  // namespace
}  // namespace fotolyx
