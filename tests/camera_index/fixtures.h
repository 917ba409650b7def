#pragma once

#include <algorithm>
#include <filesystem>
#include <memory>
#include <tuple>
#include <utility>
#include <vector>

#include "app/program.h"
#include "camsim/picture_maker.h"
#include "link/protocol.h"
#include "support/link_session.h"
#include "support/program_world.h"

namespace fotolyx::testing {

// A click on the thumbnail of a position, the grid scrolled to its row first.
inline void ClickPosition(PreviewWindow& preview, const SelectionState& selection,
                          unsigned position, unsigned keys = 0) {
    const int row = static_cast<int>(position / 4);
    preview.VScroll(SB_THUMBTRACK, row);
    preview.LButtonDown(70 + 140 * static_cast<int>(position % 4),
                        105 + 130 * (row - selection.TopRow), keys);
}

// A program whose packet handlers are fed packets by hand, the index asked for.
struct Handlers : ProgramWorld {
    explicit Handlers(std::uint32_t slots = 50) {
        program->Startup();
        line.open = true;
        program->link.SetupPhase = 0;
        index().CreateThumbnailStore(slots);
        index().StartIndexTransfer();
        Ready(3);
        line.written.clear();
    }
    IndexTransfer& index() { return program->indexTransfer; }
    PictureDownload& download() { return program->pictureDownload; }
    PreviewWindow& preview() { return program->previewWindow; }
    void Feed(const Packet& packet) {
        program->link.ReceiveBuffer = packet;
        if (program->link.TransferMode == TRANSFER_DOWNLOAD) {
            download().DownloadPacket();
        } else {
            index().IndexPacket();
        }
    }
    void Status(std::uint8_t code) { Feed(MakeStatusPacket(code)); }
    void Ready(int times) {
        for (int i = 0; i < times; ++i) {
            Status(READY);
        }
    }
    // The header of an entry (or the end mark): a Fine 640 x 480 picture, its thumbnail, the count.
    static Packet Header(std::uint32_t bytes, std::uint16_t w, std::uint16_t h, std::uint16_t count,
                         bool end = false) {
        Packet header = MakeDataPacket(0, {});
        header[3] = 0x01;
        WriteBe32(header, 4, bytes);
        WriteBe16(header, 8, 640);
        WriteBe16(header, 10, 480);
        WriteBe16(header, 12, end ? 0 : 1);
        WriteBe16(header, 14, w);
        WriteBe16(header, 16, h);
        const std::uint8_t date[] = {102, 5, 17, 9, 3};
        std::copy(std::begin(date), std::end(date), header.begin() + 22);
        WriteBe16(header, 28, count);
        return header;
    }
    void Entry(const std::vector<std::uint8_t>& thumbnail, std::uint16_t w, std::uint16_t h,
               std::uint16_t count) {
        Feed(Header(static_cast<std::uint32_t>(thumbnail.size()), w, h, count));
        for (std::size_t at = 0; at <= thumbnail.size(); at += 112) {  // a last, short one
            const std::size_t size = std::min<std::size_t>(112, thumbnail.size() - at);
            Feed(MakeDataPacket(at / 112 + 1, std::span(thumbnail).subspan(at, size)));
        }
    }
    std::vector<std::uint8_t> TakeWritten() { return std::exchange(line.written, {}); }

    std::unique_ptr<Program> program = std::make_unique<Program>(ports(), environment);
};

// `count` entries listed by hand, each with the placeholder; `reported` pictures (0: `count`).
struct Listed : Handlers {
    explicit Listed(int count, std::uint16_t reported = 0, std::uint32_t slots = 50)
        : Handlers(slots) {
        reported = reported != 0 ? reported : static_cast<std::uint16_t>(count);
        for (int i = 0; i < count; ++i) {
            Entry({}, 80, 60, reported);
        }
        Feed(Header(0, 0, 0, reported, true));
        TakeWritten();
    }
    const SelectionState& selection() { return index().selection; }
    void ClickCell(int column, int row, unsigned keys = 0) {
        preview().LButtonDown(70 + 140 * column, 105 + 130 * row, keys);
    }
    std::vector<unsigned> Marked() {
        std::vector<unsigned> marked;
        for (unsigned p = 0; p < INDEX_POSITIONS; ++p) {
            if (selection().SelectionMark[p] == MARK_SELECTED) {
                marked.push_back(p);
            }
        }
        return marked;
    }
    // Deletes the marked pictures, the camera confirming each step.
    void DeleteMarked() {
        preview().Command(CMD_DELETE_PAGE);
        Ready(5);
        Status(DELETE_DONE);
    }
};

// A program with a camera of `pictures` on COM1, run to the end of the index.
struct PicturesRun {
    explicit PicturesRun(std::vector<camsim::SimPicture> pictures, bool trueColour = true) {
        camsim::CameraConfig config;
        config.pictures = std::move(pictures);
        camera = &session.AddCamera(PORT_COM1, config);
        session.environment.trueColourDisplay = trueColour;
        session.Start();
        EXPECT_TRUE(session.RunUntilIndexLoaded());
    }
    Program& program() { return session.program(); }
    IndexTransfer& index() { return program().indexTransfer; }
    PictureDownload& download() { return program().pictureDownload; }
    PreviewWindow& preview() { return program().previewWindow; }
    CaptureWindows& captures() { return program().captureWindows; }
    bool RunUntilDownloadsDone() {
        return session.RunUntil(
            [&] {
                return !download().download.CaptureWaiting &&
                       !session.loop.TimerRunning(PREVIEW_WINDOW, PREVIEW_TIMER_NEXT_DOWNLOAD);
            },
            120'000);
    }
    void Click(unsigned position, unsigned keys = 0) {
        ClickPosition(preview(), index().selection, position, keys);
    }
    // The digits and picture commands written since a point in time.
    std::vector<std::uint8_t> CommandsSince(Micros since) const {
        std::vector<std::uint8_t> bytes;
        for (std::uint8_t byte : session.WrittenSince(since)) {
            if (byte >= DIGIT_UNITS && byte != INDEX_NEXT) {
                bytes.push_back(byte);
            }
        }
        return bytes;
    }
    std::size_t Count(std::uint8_t byte) const {
        const auto bytes = session.WrittenSince(0);
        return static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), byte));
    }
    LinkSession session;
    camsim::SimCamera* camera = nullptr;
};

}  // namespace fotolyx::testing
