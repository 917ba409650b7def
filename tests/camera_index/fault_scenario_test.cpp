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
        const bool loaded =
            session.RunUntil([&] { return program.indexTransfer.index.IndexLoaded; }, 20'000);
        EXPECT_EQ(loaded, !c.disconnects) << c.fault;
        EXPECT_EQ(session.DialogShown(LinkDialog::ComDisconnect), c.disconnects) << c.fault;
        if (c.disconnects) {
            EXPECT_FALSE(program.indexTransfer.index.IndexTransferActive &&
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
            ASSERT_TRUE(
                session.RunUntil([&] { return program.indexTransfer.index.IndexLoaded; }, 20'000))
                << c.fault;
        }
        EXPECT_EQ(program.indexTransfer.index.receivedCount, 4) << c.fault;
        for (unsigned p = 0; p < 4; ++p) {
            EXPECT_EQ(
                program.indexTransfer.index.entries[p].fileName,
                FormatFileName(p, p % 2 == 0, EntryDate{2, 5, 17, 14, 5 + static_cast<int>(p)}))
                << c.fault;
        }
    }
}

}  // namespace
}  // namespace fotolyx
