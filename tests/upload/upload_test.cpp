#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "camsim/picture_maker.h"
#include "link/link_setup.h"
#include "support/activity_faults.h"
#include "support/link_session.h"
#include "support/picture_files.h"
#include "upload/picture_upload.h"

namespace fotolyx {
namespace {

using camsim::CameraConfig;

struct UploadSession {
    explicit UploadSession(CameraConfig config = {}, int listed = 12) {
        config.pictures = camsim::MakeSamplePictures(listed);
        camera = &session.AddCamera(PORT_COM1, config);
        session.clock.now = LocalTime{2002, 1, 15, 9, 5, 30};
        session.Start();
        EXPECT_TRUE(session.RunUntilIndexLoaded());
        std::ranges::copy(testing::MakePicture(640, 480).bytes(),
                          program().buffers.WorkImage->bytes().begin());
        window = program().CreateOpenfileWindow("test.bmp", false);
    }
    Program& program() { return session.program(); }
    PictureIndex& index() { return program().indexTransfer.index; }
    UploadState& state() { return program().upload; }
    bool DataTransEnded() const {
        return std::ranges::count(session.shell.pleaseWaitEnded, PleaseWait::DataTrans) > 0;
    }
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
    testing::LinkSession session;
    camsim::SimCamera* camera = nullptr;
    PictureWindow* window = nullptr;
};

// Both files go through the Exif save, Normal's reduced; the other header bytes hold their offsets.
TEST(Upload, PictureAndThumbnailGoWithTheirHeadersAndTheNewEntryIsListed) {
    const std::tuple<int, std::uint8_t, int, std::uint16_t, const char*, const char*> cases[] = {
        {CMD_DATA_OUT_FINE, UPLOAD_FINE, 12, 640, " 13F: 02/1/15 9:05", "13F02-1-15(9-5)"},
        {CMD_DATA_OUT_NORMAL, UPLOAD_NORMAL, 4, 320, "  5N: 02/1/15 9:05", "5N02-1-15(9-5)"},
    };
    for (const auto& [command, commandByte, listed, width, text, name] : cases) {
        UploadSession s({}, listed);
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
        ASSERT_EQ(s.camera->Pictures().size(), listed + 1u);
        const camsim::SimPicture& stored = s.camera->Pictures().back();
        EXPECT_EQ(std::tuple(stored.jpeg.size(), stored.thumbnail.size(), stored.attribute),
                  std::tuple(s.state().UploadSize, s.state().UploadThumbSize, fine));
        EXPECT_EQ(std::string(stored.jpeg.begin() + 6, stored.jpeg.begin() + 10), "Exif");
        EXPECT_EQ(
            std::tuple(s.index().receivedCount, s.index().reportedCount,
                       s.program().indexTransfer.selection.LastRow, s.DataTransEnded(),
                       s.program().link.TransferMode),
            std::tuple(listed + 1, listed + 1, listed == 12 ? 1 : 0, true, TRANSFER_DOWNLOAD));
        const PictureEntry& entry = s.index().entries[listed];
        EXPECT_EQ(std::tuple(entry.listText, entry.fileName, entry.width, entry.height),
                  std::tuple(text, name, width, width * 3 / 4));
    }
}

TEST(Upload, AFullCameraBlanksThePreparedEntryAndSaysSo) {
    CameraConfig tooSmall, noRoom;
    tooSmall.uploadLimitBytes = 1000;  // refused at the picture's header
    noRoom.fineCapacity = 0;           // refused at the command byte
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

struct AnswerDriver : UploadSession {
    AnswerDriver() : UploadSession({}, 4) {
        program().link.TransferMode = TRANSFER_UPLOAD;
        program().link.ExpectedLength = 1;
        auto& buffer = *program().buffers.TransferBuffer;
        std::iota(buffer.begin(), buffer.end(), std::uint8_t{3});
    }
    Packet Answer(std::uint8_t byte) {
        program().link.ReceiveBuffer[0] = byte;
        program().pictureUpload.HandleAnswer();
        return program().pictureUpload.CurrentPacket();
    }
};

// 224 bytes are three packets; a file ending 6 bytes before the buffer's end sends its last 16.
TEST(UploadPackets, PacketsTakeTheirBytesFromTheBufferAndNumbersWrap) {
    AnswerDriver d;
    const auto& buffer = *d.program().buffers.TransferBuffer;
    d.state().UploadSize = 224;
    d.Answer(UPLOAD_READY);
    EXPECT_EQ(d.state().TotalPackets, 3);
    for (int k = 1; k <= 3; ++k) {
        const Packet packet = d.Answer(ACK);
        EXPECT_EQ(packet[SEQUENCE_OFFSET], k);
        EXPECT_TRUE(
            std::equal(packet.begin() + 3, packet.begin() + 115, buffer.begin() + (k - 1) * 112));
    }
    d.state().UploadSize = static_cast<std::uint32_t>(buffer.size() - 6);
    d.state().UploadPacketNumber = 0;
    d.Answer(UPLOAD_READY);
    d.state().UploadPacketNumber = static_cast<std::uint16_t>(d.state().TotalPackets - 1);
    const Packet last = d.Answer(ACK);
    ASSERT_EQ(buffer.size() - d.state().SendOffset, 16u);
    EXPECT_TRUE(std::equal(last.begin() + 3, last.begin() + 19, buffer.end() - 16));
    EXPECT_TRUE(std::all_of(last.begin() + 19, last.begin() + 115, [](auto b) { return b == 0; }));
    d.state().UploadPacketNumber = 0;
    d.state().UploadSize = 300 * 112;
    const Packet header = d.Answer(UPLOAD_READY);
    d.session.clock.now.minute = 59;  // a header sent again keeps its first date
    EXPECT_EQ(d.Answer(NAK), header);
    EXPECT_EQ(header[HEADER_DATE_OFFSET + 4], 5);
    d.state().UploadPacketNumber = 255;
    const Packet p256 = d.Answer(ACK);
    const Packet p257 = d.Answer(ACK);
    EXPECT_EQ(std::tuple(p256[SEQUENCE_OFFSET], p256[SEQUENCE_COMPLEMENT_OFFSET],
                         p257[SEQUENCE_OFFSET], p257[SEQUENCE_COMPLEMENT_OFFSET]),
              std::tuple(0x00, 0x00, 0x01, 0xFF));
    EXPECT_EQ(d.session.shell.progressPos, 257);
}

TEST(UploadFaults, EveryFaultEndsAnUploadInItsRecoveryNeverInAHang) {
    for (const testing::ActivityFault& c : testing::ActivityFaults()) {
        EXPECT_EQ(RunActivity(testing::Activity::Upload, c.faults), c.upload) << c.name;
    }
}

}  // namespace
}  // namespace fotolyx
