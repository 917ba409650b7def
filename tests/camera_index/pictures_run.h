#pragma once

#include <algorithm>
#include <filesystem>
#include <vector>

#include "app/program.h"
#include "camera_index/decoded_bmp.h"
#include "camsim/picture_maker.h"
#include "imaging/colour_treatment.h"
#include "imaging/jpeg_codec.h"
#include "support/link_session.h"

namespace fotolyx::testing {

// A program with a camera of `pictures` on COM1, run through start-up, set-up and the index.
struct PicturesRun {
    explicit PicturesRun(std::vector<camsim::SimPicture> pictures, bool waitForIndex = true) {
        camsim::CameraConfig config;
        config.pictures = std::move(pictures);
        camera = &session.AddCamera(PORT_COM1, config);
        session.Start();
        if (waitForIndex) {
            loaded = RunUntilIndexLoaded();
        }
    }
    explicit PicturesRun(int count) : PicturesRun(camsim::MakeSamplePictures(count)) {}
    Program& program() { return session.program(); }
    IndexTransfer& index() { return session.program().indexTransfer; }
    PictureDownload& download() { return session.program().pictureDownload; }
    PreviewWindow& preview() { return session.program().previewWindow; }
    CaptureWindows& captures() { return session.program().captureWindows; }
    bool RunUntilIndexLoaded(int limitMs = 60'000) {
        return session.RunUntil([&] { return index().index.IndexLoaded; }, limitMs);
    }
    // Runs until no download waits any more and no next picture is due.
    bool RunUntilDownloadsDone(int limitMs = 120'000) {
        return session.RunUntil(
            [&] {
                return !download().download.CaptureWaiting &&
                       !session.loop.TimerRunning(PREVIEW_WINDOW, PREVIEW_TIMER_NEXT_DOWNLOAD);
            },
            limitMs);
    }
    // A click on the thumbnail of a position in view (the grid scrolled to its row first).
    void Click(unsigned position, unsigned keys = 0) {
        const int row = static_cast<int>(position / 4);
        preview().VScroll(SB_THUMBTRACK, row);
        const int topRow = index().selection.TopRow;
        const int x = 10 + 140 * static_cast<int>(position % 4) + 60;
        const int y = 60 + 130 * (row - topRow) + 45;
        preview().LButtonDown(x, y, keys);
    }
    // The written command bytes from the digits and picture commands, in order.
    std::vector<std::uint8_t> CommandsSince(Micros since) const {
        std::vector<std::uint8_t> bytes;
        for (std::uint8_t byte : session.WrittenSince(since)) {
            if (byte >= DIGIT_UNITS && byte != INDEX_NEXT) {
                bytes.push_back(byte);
            }
        }
        return bytes;
    }
    LinkSession session;
    camsim::SimCamera* camera = nullptr;
    bool loaded = false;
};

// The picture a Capture window should hold for a camera picture: its JPEG decoded and treated
// as its attribute asks. A wiring check only: it decodes and treats with the program's own code.
// What is independent: the bytes a download takes in equal the camera's file
// (download_fault_test.cpp), the decoder matches djpeg (tests/imaging/jpeg_peer_test.cpp) and the
// treatment matches the recomputation from the formulas (tests/reference).
inline std::vector<std::uint8_t> ExpectedPicture(const camsim::SimPicture& picture,
                                                 const std::filesystem::path& folder) {
    const auto jpegPath = folder / "expected.jpg";
    const auto bmpPath = folder / "expected.bmp";
    WriteBytes(jpegPath, picture.jpeg);
    JpegState state;
    DecompressJpegToBmp(state, jpegPath, bmpPath, 0);
    std::vector<std::uint8_t> block(Rgb24DibBytes(picture.width, picture.height) + 60);
    if (ReadDecodedBmp(bmpPath, picture.width, picture.height, block) != DecodedBmpResult::Ok) {
        return {};
    }
    DibBlock dib(std::move(block));
    Memory memory;
    ApplyColourTreatment(dib, picture.attribute, memory);
    return dib.storage();
}

}  // namespace fotolyx::testing
