#pragma once

#include <cstdint>
#include <functional>

#include "camera_index/index_transfer.h"
#include "camera_index/picture_download.h"
#include "link/link_hand_over.h"

namespace fotolyx {

// Connects the link set-up to the index transfer and the download and, through the hooks the
// program sets, to its other windows.
class PictureHandOver final : public LinkHandOver {
  public:
    PictureHandOver(IndexTransfer& index, PictureDownload& download)
        : index_(index), download_(download) {}

    bool ThumbnailStoreExists() const override { return index_.ThumbnailStoreExists(); }
    void FreeThumbnailStore() override { index_.FreeThumbnailStore(); }
    bool CreateThumbnailStore(std::uint32_t slotCount) override {
        return index_.CreateThumbnailStore(slotCount);
    }
    void StartIndexTransfer() override {
        if (linkUp) {
            linkUp();
        }
        index_.StartIndexTransfer();
    }
    void ActivatePreviewIfLiveActive() override {
        if (activatePreviewIfLiveActive) {
            activatePreviewIfLiveActive();
        }
    }
    void CloseForReconnect() override {
        download_.CloseForReconnect();
        if (closeOtherWindows) {
            closeOtherWindows();
        }
    }
    void ResetForReconnect() override {
        index_.ResetForReconnect();
        if (resetOtherTransfers) {
            resetOtherTransfers();
        }
    }

    // The program's own parts of the hand-over: activating the Preview window in place of an
    // active Live image window, closing the Openfile windows, resetting live view and upload.
    std::function<void()> activatePreviewIfLiveActive;
    std::function<void()> closeOtherWindows;
    std::function<void()> resetOtherTransfers;

    std::function<void()> linkUp;  // the camera answered in photo mode

  private:
    IndexTransfer& index_;
    PictureDownload& download_;
};

}  // namespace fotolyx
