#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "camera_index/camera_pictures.h"
#include "link/link_hand_over.h"

namespace fotolyx {

// Connects the link set-up to the camera pictures, and counts what it was asked to do.
class PictureHandOver final : public LinkHandOver {
  public:
    explicit PictureHandOver(CameraPictures& pictures) : pictures_(pictures) {}

    bool ThumbnailStoreExists() const override { return pictures_.ThumbnailStoreExists(); }
    void FreeThumbnailStore() override {
        pictures_.FreeThumbnailStore();
        storeSlots.reset();
        ++storesFreed;
    }
    bool CreateThumbnailStore(std::uint32_t slotCount) override {
        ++storesCreated;
        if (failStoreCreation || !pictures_.CreateThumbnailStore(slotCount)) {
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
        pictures_.StartIndexTransfer();
    }
    void ActivatePreviewIfLiveActive() override { ++previewActivations; }
    void CloseForReconnect() override {
        ++reconnectCloses;
        pictures_.CloseForReconnect();
    }
    void ResetForReconnect() override {
        ++reconnectResets;
        pictures_.ResetForReconnect();
    }

    std::function<void()> linkUp;  // the camera answered in photo mode
    std::optional<std::uint32_t> storeSlots;
    bool failStoreCreation = false;  // tests: the store's memory cannot be had
    int storesCreated = 0;
    int storesFreed = 0;
    int indexTransferStarts = 0;
    int previewActivations = 0;
    int reconnectCloses = 0;
    int reconnectResets = 0;

  private:
    CameraPictures& pictures_;
};

}  // namespace fotolyx
