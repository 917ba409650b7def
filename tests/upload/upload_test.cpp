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

// A program set up to a simulated camera of `listed` pictures, with an Openfile window holding
// a 640 x 480 picture.
struct UploadSession {
    explicit UploadSession(CameraConfig config = {}, int listed = 12) {
        config.pictures = camsim::MakeSamplePictures(listed);
        camera = &session.AddCamera(PORT_COM1, config);
        session.clock.now = LocalTime{2002, 1, 15, 9, 5, 30};
        session.Start();
        EXPECT_TRUE(session.RunUntil([&] { return index().IndexLoaded; }, 60'000));
        const DibBlock picture = testing::MakeRgbPicture(640, 480, [](int x, int y) {
            return testing::Bgr{static_cast<std::uint8_t>(x / 3), static_cast<std::uint8_t>(y / 2),
                                static_cast<std::uint8_t>((x + y) / 5)};
        });
        std::copy(picture.bytes().begin(), picture.bytes().end(),
                  program().buffers.WorkImage->bytes().begin());
        window = program().CreateOpenfileWindow("test.bmp", false);
    }
    Program& program() { return session.program(); }
    PictureIndex& index() { return program().indexTransfer.index; }
    const UploadState& state() { return program().upload; }
    bool DataTransEnded() const {
        const auto& ended = session.shell.pleaseWaitEnded;
        return std::find(ended.begin(), ended.end(), PleaseWait::DataTrans) != ended.end();
    }
    // Sends the window's picture and runs until the camera's last answer was handled; returns
    // the command byte and the packets written.
    std::pair<std::uint8_t, std::vector<Packet>> Send(int command) {
        const camsim::Micros start = session.loop.Now();
        window->Command(command);
        EXPECT_TRUE(session.RunUntil([&] { return state().uploadsDone + state().uploadsFull > 0; },
                                     60'000));
        const auto bytes = session.WrittenSince(start);
        std::vector<Packet> packets;
        for (std::size_t at = 1; at + PACKET_LENGTH <= bytes.size(); at += PACKET_LENGTH) {
            std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), PACKET_LENGTH,
                        packets.emplace_back().begin());
        }
        return {bytes.empty() ? 0 : bytes[0], packets};
    }
    std::vector<std::uint8_t> Sent(const std::vector<std::uint8_t>& buffer, std::uint32_t size) {
        return {buffer.begin(), buffer.begin() + size};
    }
    testing::LinkSession session;
    camsim::SimCamera* camera = nullptr;
    PictureWindow* window = nullptr;
};

// Both files go through the Exif save, Normal's reduced; each header's other bytes hold their own
// offsets. The new entry takes the next position and a thirteenth picture adds a scroll row.
TEST(Upload, PictureAndThumbnailGoWithTheirHeadersAndTheNewEntryIsListed) {
    const std::tuple<int, std::uint8_t, int, std::uint16_t, const char*, const char*> cases[] = {
        {CMD_DATA_OUT_FINE, UPLOAD_FINE, 12, 640, " 13F: 02/1/15 9:05", "13F02-1-15(9-5)"},
        {CMD_DATA_OUT_NORMAL, UPLOAD_NORMAL, 4, 320, "  5N: 02/1/15 9:05", "5N02-1-15(9-5)"},
    };
    for (const auto& [command, commandByte, listed, width, text, name] : cases) {
        UploadSession s({}, listed);
        const int lastRowBefore = s.program().indexTransfer.selection.LastRow;
        const auto [sentCommand, packets] = s.Send(command);
        EXPECT_EQ(sentCommand, commandByte);
        const std::uint8_t fine = commandByte == UPLOAD_FINE ? 1 : 0;
        const std::size_t pictureData = s.state().UploadSize / 112 + 1;
        ASSERT_EQ(packets.size(), 2 + pictureData + s.state().UploadThumbSize / 112 + 1);
        for (const std::size_t at : {std::size_t{0}, 1 + pictureData}) {
            const Packet& header = packets[at];
            EXPECT_EQ(header[PAYLOAD_OFFSET], fine);
            EXPECT_EQ(ReadBe32(header, COUNT_OFFSET),
                      at == 0 ? s.state().UploadSize : s.state().UploadThumbSize);
            for (std::size_t i = 8; i < 115; ++i) {
                if (at != 0 || i < HEADER_DATE_OFFSET || i >= HEADER_DATE_OFFSET + 5) {
                    EXPECT_EQ(header[i], i) << "header " << at << " byte " << i;
                }
            }
            EXPECT_EQ(header[END_OFFSET], 0);
        }
        EXPECT_EQ(std::vector<int>(packets[0].begin() + 22, packets[0].begin() + 27),
                  (std::vector<int>{102, 1, 15, 9, 5}));
        // The camera got both files whole.
        ASSERT_EQ(s.camera->Pictures().size(), listed + 1u);
        const camsim::SimPicture& stored = s.camera->Pictures().back();
        EXPECT_EQ(
            std::tuple(stored.jpeg, stored.thumbnail, stored.attribute),
            std::tuple(s.Sent(*s.program().buffers.TransferBuffer, s.state().UploadSize),
                       s.Sent(*s.program().buffers.ThumbnailBuffer, s.state().UploadThumbSize),
                       fine));
        std::uint16_t jpegWidth = 0;
        std::uint16_t jpegHeight = 0;
        ASSERT_TRUE(camsim::ReadJpegSize(stored.jpeg, jpegWidth, jpegHeight));
        EXPECT_EQ(std::tuple(jpegWidth, jpegHeight), std::tuple(width, width * 3 / 4));
        EXPECT_EQ(std::string(stored.jpeg.begin() + 6, stored.jpeg.begin() + 10), "Exif");
        EXPECT_EQ(std::tuple(s.index().receivedCount, s.index().reportedCount),
                  std::tuple(listed + 1, listed + 1));
        EXPECT_EQ(s.program().indexTransfer.selection.LastRow, lastRowBefore + (listed == 12));
        const PictureEntry& entry = s.index().entries[listed];
        EXPECT_EQ(std::tuple(entry.listText, entry.fileName, entry.width, entry.height),
                  std::tuple(text, name, width, width * 3 / 4));
        EXPECT_TRUE(s.DataTransEnded());
        EXPECT_EQ(std::tuple(s.session.shell.progressShown, s.session.shell.progressMax),
                  std::tuple(false, static_cast<int>(pictureData)));
        EXPECT_EQ(s.program().link.TransferMode, TRANSFER_DOWNLOAD);
    }
}

TEST(Upload, AFullCameraBlanksThePreparedEntryAndSaysSo) {
    CameraConfig tooSmall;
    tooSmall.uploadLimitBytes = 1000;  // refused at the picture's header
    CameraConfig noRoom;
    noRoom.fineCapacity = 0;  // refused at the command byte
    for (const CameraConfig& config : {tooSmall, noRoom}) {
        UploadSession s(config);
        s.Send(CMD_DATA_OUT_FINE);
        EXPECT_EQ(
            std::tuple(s.state().uploadsFull, s.camera->Pictures().size(), s.index().receivedCount,
                       s.index().reportedCount, s.index().entries[12].listText, s.DataTransEnded(),
                       s.program().link.TransferMode),
            std::tuple(1u, 12u, 12, 12, "", true, TRANSFER_DOWNLOAD));
        const auto slot = s.program().indexTransfer.store->Slot(12);
        EXPECT_TRUE(std::all_of(slot.begin() + 40, slot.end(), [](auto b) { return b == 0x80; }));
        ASSERT_FALSE(s.session.shell.messages.empty());
        EXPECT_EQ(s.session.shell.messages.back().text, "The Vistacam's memory is full.");
    }
}

TEST(Upload, SaveQualityFollowsTheSizeOfTheFirstEncoding) {
    const std::tuple<bool, std::uint32_t, int> cases[] = {
        {true, 90'112, 70}, {true, 90'113, 45}, {false, 39'936, 70}, {false, 39'937, 60}};
    for (const auto& [fine, size, quality] : cases) {
        EXPECT_EQ(UploadSaveQuality(fine, size), quality) << fine << ' ' << size;
    }
}

// The answer handler driven byte by byte, without a camera.
struct AnswerDriver : UploadSession {
    AnswerDriver() : UploadSession({}, 4) {
        program().link.TransferMode = TRANSFER_UPLOAD;
        program().link.ExpectedLength = 1;
        session.line.Close();
        auto& buffer = *program().buffers.TransferBuffer;
        for (std::size_t i = 0; i < buffer.size(); ++i) {
            buffer[i] = static_cast<std::uint8_t>(i * 7 + 3);
        }
    }
    Packet Answer(std::uint8_t byte) {
        program().link.ReceiveBuffer[0] = byte;
        program().pictureUpload.HandleAnswer();
        return program().pictureUpload.CurrentPacket();
    }
    UploadState& upload() { return program().upload; }
};

// A file of 224 bytes is three packets, the third only of what follows the file; the last packet
// of a file ending 6 bytes before the buffer's end starts 16 bytes before it, padded with zeros.
// Numbers wrap after 255 and a NAK repeats the same bytes.
TEST(UploadPackets, PacketsTakeTheirBytesFromTheBufferAndNumbersWrap) {
    AnswerDriver d;
    const auto& buffer = *d.program().buffers.TransferBuffer;
    d.upload().UploadSize = 224;
    d.Answer(UPLOAD_READY);
    EXPECT_EQ(d.state().TotalPackets, 3);
    for (int k = 1; k <= 3; ++k) {
        const Packet packet = d.Answer(ACK);
        EXPECT_EQ(packet[SEQUENCE_OFFSET], k);
        EXPECT_TRUE(
            std::equal(packet.begin() + 3, packet.begin() + 115, buffer.begin() + (k - 1) * 112));
    }
    d.upload().UploadSize = static_cast<std::uint32_t>(buffer.size() - 6);
    d.upload().UploadPacketNumber = 0;
    d.Answer(UPLOAD_READY);
    d.upload().UploadPacketNumber = static_cast<std::uint16_t>(d.state().TotalPackets - 1);
    const Packet last = d.Answer(ACK);
    ASSERT_EQ(buffer.size() - d.state().SendOffset, 16u);
    EXPECT_TRUE(std::equal(last.begin() + 3, last.begin() + 19, buffer.end() - 16));
    EXPECT_TRUE(std::all_of(last.begin() + 19, last.begin() + 115, [](auto b) { return b == 0; }));
    d.upload().UploadPacketNumber = 0;
    d.upload().UploadSize = 300 * 112;
    const Packet header = d.Answer(UPLOAD_READY);
    d.session.clock.now.minute = 59;  // a header sent again keeps its first date
    EXPECT_EQ(d.Answer(NAK), header);
    EXPECT_EQ(header[HEADER_DATE_OFFSET + 4], 5);
    Packet packet;
    for (int k = 1; k <= 100; ++k) {
        packet = d.Answer(ACK);
    }
    EXPECT_EQ(d.Answer(NAK), packet);
    d.upload().UploadPacketNumber = 255;
    const Packet p256 = d.Answer(ACK);
    const Packet p257 = d.Answer(ACK);
    EXPECT_EQ(std::tuple(p256[SEQUENCE_OFFSET], p256[SEQUENCE_COMPLEMENT_OFFSET],
                         p257[SEQUENCE_OFFSET], p257[SEQUENCE_COMPLEMENT_OFFSET]),
              std::tuple(0x00, 0x00, 0x01, 0xFF));
    EXPECT_EQ(d.session.shell.progressPos, 257);
}

// Until the camera answers the command nothing flows: the watchdog opens no dialog and DATA_TRANS
// stays (silence once data flows: fault_injection_test.cpp).
TEST(UploadWatchdog, NoAnswerToTheCommandOpensNoDisconnectDialog) {
    CameraConfig mute;
    mute.faults.silentAfterMessages = UploadSession().camera->MessagesSent();
    UploadSession s(mute);
    s.window->Command(CMD_DATA_OUT_FINE);
    s.session.loop.RunFor(10'000);
    EXPECT_FALSE(s.session.DialogShown(LinkDialog::ComDisconnect));
    EXPECT_FALSE(s.DataTransEnded());
    EXPECT_EQ(s.session.shell.pleaseWaitShown.back(), PleaseWait::DataTrans);
}

}  // namespace
}  // namespace fotolyx
