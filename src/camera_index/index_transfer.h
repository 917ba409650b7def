#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>

#include "camera_index/picture_index.h"
#include "camera_index/picture_ports.h"
#include "camera_index/please_wait_dialog.h"
#include "camera_index/preview_window.h"
#include "imaging/jpeg_codec.h"
#include "link/watchdog.h"

namespace fotolyx {

// The camera's picture index with its thumbnails (TransferMode 0): the index request, the
// entries as they arrive, the Preview's selection and scrolling, Delete Page, Delete All and
// Reload. One per program.
class IndexTransfer {
  public:
    IndexTransfer(PicturePorts ports, PleaseWaitDialog& pleaseWait);
    IndexTransfer(const IndexTransfer&) = delete;
    IndexTransfer& operator=(const IndexTransfer&) = delete;

    // The download's counters: a deletion counts its pictures in them (one transfer runs at a
    // time) and Reload and Reconnect start them afresh.
    void ShareDownloadState(DownloadState& download) { download_ = &download; }

    // --- What the link set-up hands over.
    bool ThumbnailStoreExists() const { return store.has_value(); }
    void FreeThumbnailStore() { store.reset(); }
    bool CreateThumbnailStore(std::uint32_t slotCount);
    // Requests the index from picture 000 (DIGIT_UNITS 0, step 3, watchdog 1,500 ms).
    void StartIndexTransfer();
    // Reconnect, after the link's own reset: every counter, the selection and the slots.
    void ResetForReconnect();

    // An index entry's thumbnail JPEG as the camera sent it, before it is decoded (for hosts
    // that keep it); the bytes live only for the call.
    std::function<void(unsigned position, std::span<const std::uint8_t> jpeg)> thumbnailArrived;

    // The packet handler of TransferMode 0 (index, deletion answers).
    void IndexPacket();

    void DeletePage();
    void DeleteAll();
    void Reload();

    // The position Data in and Delete Page act on: the current picture when it is marked,
    // else the highest marked one; none when nothing is marked.
    std::optional<unsigned> MarkedTarget() const;

    // The Preview's rows: a scroll bar message (SB_*) moves the top row in view.
    void ScrollPreview(int code, int pos);
    void SetPreviewScrollBar(const ScrollBarState& state);
    // The Preview's watchdog timer fired.
    void WatchdogTick() { previewWatchdog_.Tick(); }

    // The eleventh bad packet in a row may mean that messages no longer start where the
    // receiver thinks (bytes were lost or added on the line): the restart byte goes out once
    // the line has had a quiet moment, with whatever arrived meanwhile dropped, so that the
    // restarted unit is read from its first byte. Packets that arrive in the meantime get no
    // answer. The download restarts this way too.
    void RestartWhenQuiet(std::uint8_t restartByte);
    void QuietRestartDue();
    bool QuietRestartPending() const { return quietRestart_.has_value(); }

    PictureIndex index;
    std::optional<ThumbnailStore> store;
    SelectionState selection;
    ScrollBarState previewScrollBar = PREVIEW_NO_THUMB;

  private:
    void Write(std::uint8_t byte);
    void IndexBadPacket();
    void IndexDataPacket(const Packet& packet);
    void IndexEntryComplete();
    void IndexEnded();
    void IndexEmpty();
    void IndexReady();
    void DeleteStep();
    void RemoveDeleted();
    bool DecodeThumbnail();
    void ResetTransferState();
    void ClearSlotsAndTexts();

    PicturePorts ports_;
    PleaseWaitDialog& pleaseWait_;
    DownloadState* download_ = nullptr;
    DownloadState ownDownload_;  // stands in until the download shares its own
    Watchdog previewWatchdog_;
    struct QuietRestart {
        std::uint8_t byte;
        std::uint8_t transferMode;
    };
    std::optional<QuietRestart> quietRestart_;
    JpegState jpeg_;
};

}  // namespace fotolyx
