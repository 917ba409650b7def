#include "link/receiver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "support/fakes.h"

namespace fotolyx {
namespace {

using testing::ScriptedLine;

struct Collected {
    std::vector<std::vector<std::uint8_t>> setup;
    std::vector<std::vector<std::uint8_t>> byMode[TRANSFER_MODE_COUNT];
};

struct Rig {
    LinkState link;
    ScriptedLine line;
    Receiver receiver{link, line};
    Collected collected;
    Rig() {
        line.Open(PORT_COM1);
        receiver.LineOpened();
        receiver.setupHandler = [this] { collected.setup.push_back(Message()); };
        for (std::size_t mode = 0; mode < TRANSFER_MODE_COUNT; ++mode) {
            receiver.transferHandlers[mode] = [this, mode] {
                collected.byMode[mode].push_back(Message());
            };
        }
    }
    std::vector<std::uint8_t> Message() const {
        const std::size_t length = std::min<std::size_t>(link.ExpectedLength, PACKET_LENGTH);
        return {link.ReceiveBuffer.begin(), link.ReceiveBuffer.begin() + length};
    }
    void Queue(std::size_t count, std::uint8_t first) {
        for (std::size_t i = 0; i < count; ++i) {
            line.incoming.push_back(static_cast<std::uint8_t>(first + i));
        }
    }
};

TEST(Receiver, TwoPacketsBackToBackAreTwoMessagesAndTheRestWaits) {
    Rig rig;
    rig.link.SetupPhase = 0;
    rig.link.TransferMode = TRANSFER_DOWNLOAD;
    rig.Queue(116, 0);
    rig.Queue(116, 100);
    rig.Queue(5, 200);
    rig.receiver.OnReadable();
    ASSERT_EQ(rig.collected.byMode[1].size(), 2u);
    EXPECT_EQ(rig.collected.byMode[1][0].front(), 0);
    EXPECT_EQ(rig.collected.byMode[1][1].front(), 100);
    EXPECT_EQ(rig.collected.byMode[1][1].back(), static_cast<std::uint8_t>(215));
    EXPECT_EQ(rig.link.ReceiveCount, 5);  // the next message has begun
    rig.Queue(111, 0);
    rig.receiver.OnReadable();
    ASSERT_EQ(rig.collected.byMode[1].size(), 3u);
    EXPECT_EQ(rig.collected.byMode[1][2].front(), 200);
}

TEST(Receiver, DispatchFollowsSetupPhaseThenTransferMode) {
    Rig rig;
    rig.link.TransferMode = TRANSFER_LIVE_PHOTO;
    rig.Queue(116, 0);
    rig.receiver.OnReadable();
    EXPECT_EQ(rig.collected.setup.size(), 1u);
    rig.link.SetupPhase = 0;
    rig.Queue(116, 0);
    rig.receiver.OnReadable();
    EXPECT_EQ(rig.collected.byMode[3].size(), 1u);
    rig.link.TransferMode = static_cast<TransferMode>(9);  // no handler: the message is dropped
    rig.Queue(116, 0);
    rig.receiver.OnReadable();
    EXPECT_EQ(rig.collected.setup.size(), 1u);
    EXPECT_EQ(rig.link.ReceiveCount, 0);
}

TEST(Receiver, AHandlerThatShortensTheMessageGetsTheRestByteByByte) {
    Rig rig;
    rig.link.SetupPhase = 0;
    rig.link.TransferMode = TRANSFER_UPLOAD;
    rig.receiver.transferHandlers[4] = [&] {
        rig.collected.byMode[4].push_back(rig.Message());
        rig.link.ExpectedLength = 1;
    };
    rig.Queue(116, 0);
    rig.Queue(3, 0xE4);
    rig.receiver.OnReadable();
    ASSERT_EQ(rig.collected.byMode[4].size(), 4u);
    EXPECT_EQ(rig.collected.byMode[4][1], std::vector<std::uint8_t>{0xE4});
    EXPECT_EQ(rig.collected.byMode[4][3], std::vector<std::uint8_t>{0xE6});
}

TEST(Receiver, DispatchIsNotReentrant) {
    Rig rig;
    rig.link.SetupPhase = 0;
    rig.link.TransferMode = TRANSFER_DOWNLOAD;
    int depth = 0;
    int maxDepth = 0;
    int calls = 0;
    rig.receiver.transferHandlers[1] = [&] {
        ++calls;
        maxDepth = std::max(maxDepth, ++depth);
        rig.receiver.OnReadable();  // a nested event loop asking for more
        --depth;
    };
    rig.Queue(232, 0);
    rig.receiver.OnReadable();
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(maxDepth, 1);
}

TEST(Receiver, HangUpGivesOneAllZeroPacketAndStopsWatching) {
    Rig rig;
    rig.link.SetupPhase = 0;
    rig.link.TransferMode = TRANSFER_INDEX;
    rig.Queue(40, 1);
    rig.receiver.OnReadable();  // a partial packet is in the buffer
    rig.receiver.OnHangUp();
    rig.receiver.OnHangUp();
    ASSERT_EQ(rig.collected.byMode[0].size(), 1u);
    EXPECT_EQ(rig.collected.byMode[0][0], std::vector<std::uint8_t>(116, 0));
    EXPECT_FALSE(rig.receiver.Watching());
    rig.Queue(116, 1);
    rig.receiver.OnReadable();
    EXPECT_EQ(rig.collected.byMode[0].size(), 1u);
    rig.receiver.LineOpened();  // opened again
    EXPECT_TRUE(rig.receiver.Watching());
    rig.receiver.OnReadable();
    EXPECT_EQ(rig.collected.byMode[0].size(), 2u);
}

TEST(Receiver, HangUpDuringAnUploadStopsWatchingWithoutAPacket) {
    Rig rig;
    rig.link.SetupPhase = 0;
    rig.link.TransferMode = TRANSFER_UPLOAD;
    rig.link.ExpectedLength = 1;
    rig.receiver.OnHangUp();
    EXPECT_TRUE(rig.collected.byMode[4].empty());
    EXPECT_FALSE(rig.receiver.Watching());
}

TEST(Receiver, AnOversizedExpectedLengthNeverOverrunsTheBuffer) {
    Rig rig;
    rig.link.SetupPhase = 0;
    rig.link.ExpectedLength = 5000;
    rig.Queue(300, 0);
    rig.receiver.OnReadable();
    EXPECT_EQ(rig.collected.byMode[0].size(), 2u);
}

}  // namespace
}  // namespace fotolyx
