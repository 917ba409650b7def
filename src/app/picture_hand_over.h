#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "camera_index/index_transfer.h"
#include "camera_index/picture_download.h"
#include "link/link_hand_over.h"

namespace fotolyx {

// Connects the link set-up to the index transfer and the download and, through the hooks the
// program sets, to its other windows; counts what it was asked to do.
class PictureHandOver final : public LinkHandOver {
  public:
    PictureHandOver(IndexTransfer& index, PictureDownload& download)
        : index_(index), download_(download) {}

    bool ThumbnailStoreExists() const override { return index_.ThumbnailStoreExists(); }
    void FreeThumbnailStore() override {
        index_.FreeThumbnailStore();
        storeSlots.reset();
        ++storesFreed;
    }
    bool CreateThumbnailStore(std::uint32_t slotCount) override {
        ++storesCreated;
        if (failStoreCreation || !index_.CreateThumbnailStore(slotCount)) {
            return false;
        }
        storeSlots = slotCount;
        return true;
    }
    void StartIndexTransfer() override {
        ++indexTransferStarts;
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
        ++reconnectCloses;
        download_.CloseForReconnect();
        if (closeOtherWindows) {
            closeOtherWindows();
        }
    }
    void ResetForReconnect() override {
        ++reconnectResets;
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
    std::optional<std::uint32_t> storeSlots;
    bool failStoreCreation = false;  // tests: the store's memory cannot be had
    int storesCreated = 0;
    int storesFreed = 0;
    int indexTransferStarts = 0;
    int reconnectCloses = 0;
    int reconnectResets = 0;

  private:
    IndexTransfer& index_;
    PictureDownload& download_;
};

}  // namespace fotolyx
