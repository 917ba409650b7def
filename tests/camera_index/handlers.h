#pragma once

#include <filesystem>
#include <memory>
#include <utility>
#include <vector>

#include "app/program.h"
#include "link/protocol.h"
#include "support/program_world.h"

namespace fotolyx::testing {

// A program whose packet handlers are fed packets by hand.
struct Handlers {
    explicit Handlers(std::uint32_t slots = 50) {
        program = std::make_unique<Program>(world.ports(), world.environment);
        program->Startup();
        line.open = true;
        program->link.SetupPhase = 0;
        index().CreateThumbnailStore(slots);
        index().StartIndexTransfer();
        Status(READY);
        Status(READY);
        Status(READY);
        line.written.clear();
    }
    IndexTransfer& index() { return (*program).indexTransfer; }
    PictureDownload& download() { return (*program).pictureDownload; }
    PreviewWindow& preview() { return (*program).previewWindow; }
    CaptureWindows& captures() { return (*program).captureWindows; }
    void Feed(const Packet& packet) {
        program->link.ReceiveBuffer = packet;
        if (program->link.TransferMode == TRANSFER_DOWNLOAD) {
            download().DownloadPacket();
        } else {
            index().IndexPacket();
        }
    }
    void Status(std::uint8_t code) { Feed(MakeStatusPacket(code)); }
    // An entry header: thumbnail of `bytes` bytes and w x h, picture 640 x 480, count, date.
    static Packet Header(std::uint32_t bytes, std::uint16_t w, std::uint16_t h, std::uint16_t count,
                         int yearByte = 102, std::uint8_t attribute = 0x01, bool endMark = false) {
        Packet header = MakeDataPacket(0, {});
        header[3] = attribute;
        WriteBe32(header, 4, bytes);
        WriteBe16(header, 8, 640);
        WriteBe16(header, 10, 480);
        WriteBe16(header, 12, endMark ? 0 : 1);
        WriteBe16(header, 14, w);
        WriteBe16(header, 16, h);
        header[22] = static_cast<std::uint8_t>(yearByte);
        header[23] = 5;
        header[24] = 17;
        header[25] = 9;
        header[26] = 3;
        WriteBe16(header, 28, count);
        return header;
    }
    // A whole entry with the given thumbnail JPEG.
    void Entry(const std::vector<std::uint8_t>& thumbnail, std::uint16_t w, std::uint16_t h,
               std::uint16_t count) {
        Feed(Header(static_cast<std::uint32_t>(thumbnail.size()), w, h, count));
        const std::uint32_t packets = DataPacketCount(static_cast<std::uint32_t>(thumbnail.size()));
        for (std::uint32_t i = 0; i < packets; ++i) {
            const std::size_t begin = std::min<std::size_t>(i * 112, thumbnail.size());
            const std::size_t end = std::min<std::size_t>(begin + 112, thumbnail.size());
            Feed(MakeDataPacket(i + 1, std::span(thumbnail.data() + begin, end - begin)));
        }
    }
    std::vector<std::uint8_t> TakeWritten() { return std::exchange(line.written, {}); }

    ProgramWorld world;
    TempDir& root = world.root;
    RecordingShell& shell = world.shell;
    RecordingTimers& timers = world.timers;
    ScriptedLine& line = world.line;
    std::unique_ptr<Program> program;
};

// A program with `count` entries listed by hand (the light grey placeholder each) and the index
// ended with `reported` pictures (`count` when 0).
struct Listed : Handlers {
    explicit Listed(int count, std::uint16_t reported = 0, std::uint32_t slots = 50)
        : Handlers(slots) {
        reported = reported != 0 ? reported : static_cast<std::uint16_t>(count);
        for (int i = 0; i < count; ++i) {
            Entry({}, 80, 60, reported);
        }
        Feed(Header(0, 0, 0, reported, 102, 0, true));
        TakeWritten();
    }
    const SelectionState& selection() { return index().selection; }
    // A click on the centre of a cell in view.
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
    // Deletes the picture in the first cell of the grid.
    void DeleteFirst() {
        ClickCell(0, 0);
        preview().Command(CMD_DELETE_PAGE);
        for (int i = 0; i < 5; ++i) {
            Status(READY);
        }
        Status(DELETE_DONE);
    }
};

}  // namespace fotolyx::testing
