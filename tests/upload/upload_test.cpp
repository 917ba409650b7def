#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "camsim/picture_maker.h"
#include "link/link_setup.h"
#include "support/link_session.h"
#include "support/rgb_pictures.h"
#include "upload/picture_upload.h"

namespace fotolyx {
namespace {

using camsim::CameraConfig;
using camsim::Micros;
using testing::LinkSession;

// A program set up to a simulated camera, with an Openfile window holding a picture and the
// index standing at a number of pictures.
class UploadSession {
  public:
    explicit UploadSession(CameraConfig config = {}, int listed = 12)
        : camera(session.AddCamera(PORT_COM1, WithPictures(config, listed))) {
        session.clock.now = LocalTime{2002, 1, 15, 9, 5, 30};
        session.Start();
        ready = session.RunUntil([&] { return index().IndexLoaded; }, 60'000);
        const DibBlock picture = testing::MakeRgbPicture(640, 480, [](int x, int y) {
            return testing::Bgr{static_cast<std::uint8_t>(x / 3), static_cast<std::uint8_t>(y / 2),
                                static_cast<std::uint8_t>((x + y) / 5)};
        });
        DibBlock& work = *program().buffers.WorkImage;
        std::copy(picture.bytes().begin(), picture.bytes().end(), work.bytes().begin());
        window = program().CreateOpenfileWindow("test.bmp", false);
    }
    static CameraConfig WithPictures(CameraConfig config, int count) {
        config.pictures = camsim::MakeSamplePictures(count);
        return config;
    }
    Program& program() { return session.program(); }
    PictureIndex& index() { return program().indexTransfer.index; }
    const SelectionState& selection() { return program().indexTransfer.selection; }
    testing::RecordingShell& shell() { return session.shell; }
    bool PreviewRepainted() const {
        return std::any_of(session.shell.invalidations.begin(), session.shell.invalidations.end(),
                           [](const auto& i) { return i.window == PREVIEW_WINDOW && !i.area; });
    }
    bool DataTransEnded() const {
        return std::count(session.shell.pleaseWaitEnded.begin(),
                          session.shell.pleaseWaitEnded.end(), PleaseWait::DataTrans) > 0;
    }
    const UploadState& state() { return program().upload; }
    // Sends the window's picture and runs until the camera's last answer was handled.
    bool Send(int command, int limitMs = 60'000) {
        start = session.loop.Now();
        window->Command(command);
        return session.RunUntil([&] { return state().uploadsDone + state().uploadsFull > 0; },
                                limitMs);
    }
    // The command byte and the packets written since the upload started.
    std::vector<std::uint8_t> Command() const { return {session.WrittenSince(start).front()}; }
    std::vector<Packet> Packets() const {
        const auto bytes = session.WrittenSince(start);
        std::vector<Packet> packets;
        for (std::size_t at = 1; at + PACKET_LENGTH <= bytes.size(); at += PACKET_LENGTH) {
            Packet packet;
            std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), PACKET_LENGTH,
                        packet.begin());
            packets.push_back(packet);
        }
        return packets;
    }
    std::vector<std::uint8_t> Sent(bool thumbnail) {
        const auto& buffer =
            thumbnail ? *program().buffers.ThumbnailBuffer : *program().buffers.TransferBuffer;
        const std::uint32_t size = thumbnail ? state().UploadThumbSize : state().UploadSize;
        return {buffer.begin(), buffer.begin() + size};
    }
    LinkSession session;
    camsim::SimCamera& camera;
    bool ready = false;
    PictureWindow* window = nullptr;
    Micros start = 0;
};

// Every byte of a header holds its own offset, but for the kind, the numbers, the quality, the
// size and (in the picture's header) the date.
void ExpectFillers(const Packet& header, bool withDate) {
    for (std::size_t i = 8; i < 115; ++i) {
        if (withDate && i >= HEADER_DATE_OFFSET && i < HEADER_DATE_OFFSET + 5) {
            continue;
        }
        EXPECT_EQ(header[i], i) << "byte " << i;
    }
    EXPECT_EQ(header[END_OFFSET], 0);
}

TEST(Upload, FineSendsPictureAndThumbnailWithTheirHeadersAndCountsTheNewEntry) {
    UploadSession s;
    ASSERT_TRUE(s.ready);
    ASSERT_NE(s.window, nullptr);
    const int lastRowBefore = s.selection().LastRow;
    ASSERT_TRUE(s.Send(CMD_DATA_OUT_FINE));
    EXPECT_EQ(s.Command(), std::vector<std::uint8_t>{UPLOAD_FINE});
    const auto packets = s.Packets();
    const std::uint32_t pictureData = DataPacketCount(s.state().UploadSize);
    const std::uint32_t thumbData = DataPacketCount(s.state().UploadThumbSize);
    ASSERT_EQ(packets.size(), 2 + pictureData + thumbData);
    const Packet& header = packets[0];
    EXPECT_EQ(header[PAYLOAD_OFFSET], 1);
    EXPECT_EQ(ReadBe32(header, COUNT_OFFSET), s.state().UploadSize);
    EXPECT_EQ(std::vector<int>(header.begin() + 22, header.begin() + 27),
              (std::vector<int>{102, 1, 15, 9, 5}));
    ExpectFillers(header, true);
    const Packet& thumbHeader = packets[1 + pictureData];
    EXPECT_EQ(thumbHeader[PAYLOAD_OFFSET], 1);
    EXPECT_EQ(ReadBe32(thumbHeader, COUNT_OFFSET), s.state().UploadThumbSize);
    ExpectFillers(thumbHeader, false);
    // The camera got both files whole; the picture went through the Exif save.
    ASSERT_EQ(s.camera.Pictures().size(), 13u);
    const camsim::SimPicture& stored = s.camera.Pictures().back();
    EXPECT_EQ(stored.jpeg, s.Sent(false));
    EXPECT_EQ(stored.thumbnail, s.Sent(true));
    EXPECT_EQ(stored.attribute, 1);
    EXPECT_EQ(std::string(stored.jpeg.begin() + 6, stored.jpeg.begin() + 10), "Exif");
    // Twelve pictures were listed: the thirteenth is counted and the Preview scrolls a row.
    EXPECT_EQ(std::tuple(s.index().receivedCount, s.index().reportedCount), std::tuple(13, 13));
    EXPECT_EQ(s.selection().LastRow, lastRowBefore + 1);
    EXPECT_EQ(s.selection().TopRow, lastRowBefore + 1);
    EXPECT_TRUE(s.PreviewRepainted());
    const PictureEntry& entry = s.index().entries[12];
    EXPECT_EQ(entry.listText, " 13F: 02/1/15 9:05");
    EXPECT_EQ(entry.fileName, "13F02-1-15(9-5)");
    EXPECT_EQ(std::tuple(entry.attribute, entry.width, entry.height), std::tuple(1, 640, 480));
    const auto slot = s.program().indexTransfer.store->Slot(12);
    EXPECT_EQ(std::tuple(ReadLe32(slot.data() + 4), ReadLe32(slot.data() + 8)),
              std::tuple(160u, 120u));
    EXPECT_TRUE(s.DataTransEnded());
    EXPECT_FALSE(s.shell().progressShown);
    EXPECT_EQ(s.shell().progressMax, static_cast<int>(pictureData));
    EXPECT_EQ(s.shell().statusTexts.back(), TEXT_READY);
    EXPECT_EQ(s.program().link.TransferMode, TRANSFER_DOWNLOAD);
    EXPECT_EQ(s.program().link.ExpectedLength, PACKET_LENGTH);
}

TEST(Upload, NormalSendsTheReducedPictureAndItsEntryTakesTheNextPosition) {
    UploadSession s({}, 4);
    ASSERT_TRUE(s.ready);
    ASSERT_TRUE(s.Send(CMD_DATA_OUT_NORMAL));
    EXPECT_EQ(s.Command(), std::vector<std::uint8_t>{UPLOAD_NORMAL});
    const auto packets = s.Packets();
    EXPECT_EQ(packets[0][PAYLOAD_OFFSET], 0);
    EXPECT_EQ(packets[1 + DataPacketCount(s.state().UploadSize)][PAYLOAD_OFFSET], 0);
    ASSERT_EQ(s.camera.Pictures().size(), 5u);
    EXPECT_EQ(s.camera.Pictures().back().attribute, 0);
    EXPECT_EQ(s.camera.Pictures().back().jpeg, s.Sent(false));
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    ASSERT_TRUE(camsim::ReadJpegSize(s.camera.Pictures().back().jpeg, width, height));
    EXPECT_EQ(std::tuple(width, height), std::tuple(320, 240));
    const PictureEntry& entry = s.index().entries[4];
    EXPECT_EQ(entry.listText.substr(0, 4), "  5N");
    EXPECT_EQ(std::tuple(entry.width, entry.height), std::tuple(320, 240));
    EXPECT_EQ(s.index().receivedCount, 5);
    EXPECT_EQ(s.selection().TopRow, 0);
}

TEST(Upload, AFullCameraBlanksThePreparedEntryAndSaysSo) {
    CameraConfig tooSmall;
    tooSmall.uploadLimitBytes = 1000;  // refused at the picture's header
    CameraConfig noRoom;
    noRoom.fineCapacity = 0;  // refused at the command byte
    for (const CameraConfig& config : {tooSmall, noRoom}) {
        UploadSession s(config);
        ASSERT_TRUE(s.ready);
        ASSERT_TRUE(s.Send(CMD_DATA_OUT_FINE));
        EXPECT_EQ(s.state().uploadsFull, 1u);
        EXPECT_EQ(s.camera.Pictures().size(), 12u);
        EXPECT_TRUE(s.index().entries[12].listText.empty());
        const auto slot = s.program().indexTransfer.store->Slot(12);
        EXPECT_EQ(ReadLe32(slot.data() + 4), 160u);  // the header stays
        EXPECT_TRUE(
            std::all_of(slot.begin() + 40, slot.end(), [](std::uint8_t b) { return b == 0x80; }));
        EXPECT_EQ(std::tuple(s.index().receivedCount, s.index().reportedCount), std::tuple(12, 12));
        EXPECT_TRUE(s.DataTransEnded());
        ASSERT_FALSE(s.session.shell.messages.empty());
        EXPECT_EQ(s.session.shell.messages.back().text, "The Vistacam's memory is full.");
        EXPECT_EQ(s.session.shell.messages.back().caption, "Vistacam Info");
        EXPECT_EQ(s.program().link.TransferMode, TRANSFER_DOWNLOAD);
    }
}

TEST(Upload, SaveQualityFollowsTheSizeOfTheFirstEncoding) {
    struct Case {
        bool fine;
        std::uint32_t size;
        int quality;
    };
    for (const Case& c : {Case{true, 90'112, 70}, Case{true, 90'113, 45}, Case{false, 39'936, 70},
                          Case{false, 39'937, 60}}) {
        EXPECT_EQ(UploadSaveQuality(c.fine, c.size), c.quality) << c.fine << ' ' << c.size;
    }
}

// The answer handler driven byte by byte, without a camera.
class AnswerDriver {
  public:
    AnswerDriver() : s(CameraConfig{}, 4) {
        s.program().upload.UploadMode = 0;
        s.program().link.TransferMode = TRANSFER_UPLOAD;
        s.program().link.ExpectedLength = 1;
        s.session.line.Close();  // writes are recorded by the handler's own record below
    }
    Packet Answer(std::uint8_t byte) {
        s.program().link.ReceiveBuffer[0] = byte;
        s.program().pictureUpload.HandleAnswer();
        return s.program().pictureUpload.CurrentPacket();
    }
    std::vector<std::uint8_t>& buffer() { return *s.program().buffers.TransferBuffer; }
    UploadSession s;
};

TEST(UploadPackets, TheLastPacketsTailComesFromTheBufferAndZerosPastItsEnd) {
    AnswerDriver d;
    auto& buffer = d.buffer();
    for (std::size_t i = 0; i < buffer.size(); ++i) {
        buffer[i] = static_cast<std::uint8_t>(i * 7 + 3);
    }
    d.s.program().upload.UploadSize = 224;
    d.Answer(UPLOAD_READY);
    EXPECT_EQ(d.s.state().TotalPackets, 3);
    for (int k = 1; k <= 3; ++k) {
        const Packet packet = d.Answer(ACK);
        EXPECT_EQ(packet[SEQUENCE_OFFSET], k);
        EXPECT_TRUE(std::equal(packet.begin() + 3, packet.begin() + 115,
                               buffer.begin() + (k - 1) * 112))
            << k;  // packet 3 carries no file byte: only the bytes after the file
    }
    // A file ending 6 bytes before the buffer's end: its last packet starts 16 bytes before the
    // end and is padded with zeros.
    d.s.program().upload.UploadSize = static_cast<std::uint32_t>(buffer.size() - 6);
    d.s.program().upload.UploadPacketNumber = 0;
    d.Answer(UPLOAD_READY);
    d.s.program().upload.UploadPacketNumber =
        static_cast<std::uint16_t>(d.s.state().TotalPackets - 1);
    const Packet last = d.Answer(ACK);
    const std::size_t offset = d.s.state().SendOffset;
    ASSERT_EQ(buffer.size() - offset, 16u);
    EXPECT_TRUE(std::equal(last.begin() + 3, last.begin() + 19, buffer.begin() + offset));
    EXPECT_TRUE(std::all_of(last.begin() + 19, last.begin() + 115, [](auto b) { return b == 0; }));
}

TEST(UploadPackets, NumbersWrapAfter255AndANakRepeatsTheSameBytes) {
    AnswerDriver d;
    d.s.program().upload.UploadSize = 300 * 112;
    const Packet header = d.Answer(UPLOAD_READY);
    d.s.session.clock.now.minute = 59;  // a header sent again keeps its first date
    EXPECT_EQ(d.Answer(NAK), header);
    EXPECT_EQ(header[HEADER_DATE_OFFSET + 4], 5);
    Packet previous;
    for (int k = 1; k <= 257; ++k) {
        previous = d.Answer(ACK);
        if (k == 100) {
            EXPECT_EQ(d.Answer(NAK), previous);
        }
    }
    d.s.program().upload.UploadPacketNumber = 255;
    const Packet p256 = d.Answer(ACK);
    const Packet p257 = d.Answer(ACK);
    EXPECT_EQ(std::tuple(p256[SEQUENCE_OFFSET], p256[SEQUENCE_COMPLEMENT_OFFSET]),
              std::tuple(0x00, 0x00));
    EXPECT_EQ(std::tuple(p257[SEQUENCE_OFFSET], p257[SEQUENCE_COMPLEMENT_OFFSET]),
              std::tuple(0x01, 0xFF));
    EXPECT_EQ(d.s.shell().progressPos, 257);
}

TEST(UploadWatchdog, SilenceWhileDataFlowsOpensTheDisconnectDialogNoAnswerAtAllDoesNot) {
    std::uint32_t setupMessages = 0;
    {
        UploadSession probe;
        setupMessages = probe.camera.MessagesSent();
    }
    CameraConfig midway;
    midway.faults.silentAfterMessages = setupMessages + 20;  // READY, header ACK, 18 data ACKs
    UploadSession s(midway);
    ASSERT_TRUE(s.ready);
    s.window->Command(CMD_DATA_OUT_FINE);
    ASSERT_TRUE(
        s.session.RunUntil([&] { return s.session.DialogShown(LinkDialog::ComDisconnect); }, 5000));
    EXPECT_GE(s.state().UploadPacketNumber, 2);
    EXPECT_EQ(s.session.line.WrittenBytes().back() == NAK, false);  // no NAK from this watchdog
    CameraConfig mute;
    mute.faults.silentAfterMessages = setupMessages;
    UploadSession q(mute);
    ASSERT_TRUE(q.ready);
    q.window->Command(CMD_DATA_OUT_FINE);
    q.session.loop.RunFor(10'000);
    EXPECT_FALSE(q.session.DialogShown(LinkDialog::ComDisconnect));
    EXPECT_FALSE(q.DataTransEnded());
    EXPECT_EQ(q.session.shell.pleaseWaitShown.back(), PleaseWait::DataTrans);
}

}  // namespace
}  // namespace fotolyx
