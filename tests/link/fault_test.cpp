#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "link/link_setup.h"
#include "link/watchdog.h"
#include "support/link_session.h"

namespace fotolyx {
namespace {

using camsim::CameraConfig;
using testing::LinkSession;

constexpr WindowId CAPTURE_WINDOW = 5;

// A picture download as a waiting window does it, on the link's shared pieces: the digits, the
// packet test, the acknowledgement and retry rules, and a watchdog on the window's timer 1.
class TestDownload {
  public:
    explicit TestDownload(LinkSession& session)
        : session_(session),
          link_(session.program().link),
          watchdog_(
              WatchdogConfig{CAPTURE_WINDOW, 1500, 400, [this] { return running_; }, {}, {}, true},
              link_, session.line, session.loop,
              [&session] { session.program().linkSetup.OpenDisconnectDialog(); }) {
        session.program().receiver.transferHandlers[1] = [this] { Handle(); };
        session.windowTimer = [this](WindowId window, int id) {
            if (window == CAPTURE_WINDOW && id == WATCHDOG_TIMER) {
                watchdog_.Tick();
            }
        };
    }

    void Start(unsigned number) {
        digits_ = PictureNumberDigits(number);
        step_ = 0;
        counter_ = 0;
        data_.clear();
        running_ = true;
        link_.TransferMode = 1;
        link_.RetryCount = 0;
        link_.WaitingForData = 1;
        watchdog_.Arm();
        Send(digits_[0]);
    }

    bool Done() const { return done_.has_value(); }
    const std::vector<std::uint8_t>& Picture() const { return *done_; }
    int ZeroPackets() const { return zeroPackets_; }

  private:
    void Send(std::uint8_t byte) {
        lastCommand_ = byte;
        session_.line.Write({&byte, 1});
    }
    void Answer(std::uint8_t byte) { session_.line.Write({&byte, 1}); }

    void Handle() {
        link_.WaitingForData = 0;
        const Packet packet = link_.ReceiveBuffer;
        if (std::all_of(packet.begin(), packet.end(), [](std::uint8_t b) { return b == 0; })) {
            ++zeroPackets_;
        }
        const PacketKind kind = ClassifyPacket(packet, counter_);
        if (kind == PacketKind::Status && packet[STATUS_CODE_OFFSET] == READY && step_ < 3) {
            ++step_;
            Send(step_ < 3 ? digits_[step_] : PICTURE_GET);
            return;
        }
        if (kind == PacketKind::GoodData && step_ == 3 && running_) {
            if (counter_ == 0) {
                byteCount_ = ReadBe32(packet, COUNT_OFFSET);
                packets_ = DataPacketCount(byteCount_);
            } else {
                data_.insert(data_.end(), packet.begin() + PAYLOAD_OFFSET,
                             packet.begin() + PAYLOAD_OFFSET + PACKET_PAYLOAD);
            }
            ++counter_;
            link_.RetryCount = 0;
            if (counter_ <= packets_) {
                Answer(ACK);
                return;
            }
            data_.resize(byteCount_);
            done_ = data_;
            running_ = false;
            return;
        }
        const RetryRule rule{lastCommand_};
        const auto answer = rule.OnBadPacket(link_.RetryCount);
        if (answer == RetryRule::Answer::Restart) {
            counter_ = 0;
            data_.clear();
        }
        Answer(rule.AnswerByte(answer));
    }

    LinkSession& session_;
    LinkState& link_;
    Watchdog watchdog_;
    std::array<std::uint8_t, 3> digits_{};
    int step_ = 0;
    std::uint8_t lastCommand_ = 0;
    std::uint32_t counter_ = 0;
    std::uint32_t byteCount_ = 0;
    std::uint32_t packets_ = 0;
    bool running_ = false;
    std::vector<std::uint8_t> data_;
    std::optional<std::vector<std::uint8_t>> done_;
    int zeroPackets_ = 0;
};

struct FaultRun {
    LinkSession session;
    camsim::SimCamera* camera = nullptr;
    std::optional<TestDownload> download;
    std::uint32_t messagesAtStart = 0;

    // A camera with faults counted from the first message of the download, which starts once
    // the set-up and the picture index are through.
    explicit FaultRun(const std::function<void(camsim::CameraFaults&, std::uint32_t)>& faults) {
        CameraConfig config;
        config.pictures = camsim::MakeSamplePictures(2);
        camera = &session.AddCamera(PORT_COM1, config);
        session.Start();
        EXPECT_TRUE(session.RunUntilCameraReady());
        EXPECT_TRUE(WaitForIndex());
        messagesAtStart = camera->MessagesSent();
        faults(camera->Faults(), messagesAtStart);
        download.emplace(session);
        download->Start(1);
    }
    bool WaitForIndex() {
        return session.RunUntil([&] { return session.program().cameraPictures.index.IndexLoaded; },
                                10'000);
    }
    bool RunToTheEnd() {
        return session.RunUntil([&] { return download->Done(); }, 60'000);
    }
    int Naks() const {
        const auto bytes = session.WrittenSince(0);
        return static_cast<int>(std::count(bytes.begin(), bytes.end(), NAK));
    }
};

TEST(Faults, ACleanDownloadDeliversThePictureWithoutNak) {
    FaultRun run([](camsim::CameraFaults&, std::uint32_t) {});
    ASSERT_TRUE(run.RunToTheEnd());
    EXPECT_EQ(run.download->Picture(), run.camera->Pictures()[1].jpeg);
    EXPECT_EQ(run.Naks(), 0);
}

TEST(Faults, ABadPacketIsAnsweredWithNakAndSentAgain) {
    struct Case {
        const char* fault;
        std::function<void(camsim::CameraFaults&, std::uint32_t)> set;
    };
    const std::vector<Case> cases = {
        {"garbled byte", [](auto& f, std::uint32_t at) { f.garbleMessage = at + 6; }},
        {"wrong sequence number",
         [](auto& f, std::uint32_t at) { f.wrongSequenceMessage = at + 6; }},
        {"garbled READY", [](auto& f, std::uint32_t at) { f.garbleMessage = at + 1; }},
        // A lost byte leaves the packet short until the watchdog's NAK clears it.
        {"dropped byte", [](auto& f, std::uint32_t at) { f.dropByteMessage = at + 6; }},
    };
    for (const auto& c : cases) {
        FaultRun run(c.set);
        ASSERT_TRUE(run.RunToTheEnd()) << c.fault;
        EXPECT_EQ(run.download->Picture(), run.camera->Pictures()[1].jpeg) << c.fault;
        EXPECT_EQ(run.Naks(), 1) << c.fault;
        EXPECT_FALSE(run.session.DialogShown(LinkDialog::ComDisconnect)) << c.fault;
    }
}

TEST(Faults, ASilentCameraLeadsToDisconnectAndReconnectBringsItBack) {
    FaultRun run([](auto& f, std::uint32_t at) { f.silentAfterMessages = at + 10; });
    ASSERT_TRUE(run.session.RunUntil(
        [&] { return run.session.DialogShown(LinkDialog::ComDisconnect); }, 10'000));
    EXPECT_EQ(run.Naks(), 1);
    EXPECT_FALSE(run.download->Done());

    run.session.program().linkSetup.DisconnectReconnect();
    ASSERT_TRUE(run.session.RunUntilCameraReady());
    EXPECT_EQ(run.session.program().linkHandOver.indexTransferStarts, 2);
    ASSERT_TRUE(run.WaitForIndex());
    run.download->Start(1);
    ASSERT_TRUE(run.RunToTheEnd());
    EXPECT_EQ(run.download->Picture(), run.camera->Pictures()[1].jpeg);
}

TEST(Faults, APulledCableGivesOneZeroPacketThenDisconnectAndTheScanFindsNothing) {
    FaultRun run([](auto& f, std::uint32_t at) { f.hangUpAfterMessages = at + 8; });
    ASSERT_TRUE(run.session.RunUntil(
        [&] { return run.session.DialogShown(LinkDialog::ComDisconnect); }, 10'000));
    EXPECT_EQ(run.download->ZeroPackets(), 1);
    EXPECT_FALSE(run.session.program().receiver.Watching());

    run.session.program().linkSetup.DisconnectReconnect();
    ASSERT_TRUE(run.session.RunUntil(
        [&] { return run.session.DialogShown(LinkDialog::ComReconnect); }, 20'000));
    EXPECT_EQ(run.download->ZeroPackets(), 1);
    EXPECT_FALSE(run.download->Done());
}

TEST(Faults, ElevenBadPacketsInARowRestartTheTransfer) {
    // The picture header and its ten repetitions arrive garbled; the eleventh answer is the
    // restart byte (the last command, PICTURE_GET) and the picture then comes whole.
    FaultRun run([](auto& f, std::uint32_t at) {
        f.garbleMessage = at + 3;
        f.garbleCount = 11;
    });
    ASSERT_TRUE(run.RunToTheEnd());
    EXPECT_EQ(run.download->Picture(), run.camera->Pictures()[1].jpeg);
    const auto bytes = run.session.WrittenSince(0);
    const auto firstGet = std::find(bytes.begin(), bytes.end(), PICTURE_GET);
    ASSERT_NE(firstGet, bytes.end());
    EXPECT_EQ(
        std::vector<std::uint8_t>(firstGet + 1, firstGet + 12),
        (std::vector<std::uint8_t>{NAK, NAK, NAK, NAK, NAK, NAK, NAK, NAK, NAK, NAK, PICTURE_GET}));
    EXPECT_EQ(firstGet[12], ACK);
}

}  // namespace
}  // namespace fotolyx
