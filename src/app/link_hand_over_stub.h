#pragma once

#include <cstdint>
#include <optional>

#include "link/link_hand_over.h"

namespace fotolyx {

// Stands in for the picture index and the windows until they exist: records what the link asks
// of them.
class LinkHandOverStub final : public LinkHandOver {
  public:
    bool ThumbnailStoreExists() const override { return storeSlots.has_value(); }
    void FreeThumbnailStore() override {
        storeSlots.reset();
        ++storesFreed;
    }
    bool CreateThumbnailStore(std::uint32_t slotCount) override {
        ++storesCreated;
        if (failStoreCreation) {
            return false;
        }
        storeSlots = slotCount;
        return true;
    }
    void StartIndexTransfer() override { ++indexTransferStarts; }
    void ActivatePreviewIfLiveActive() override { ++previewActivations; }
    void CloseForReconnect() override { ++reconnectCloses; }
    void ResetForReconnect() override { ++reconnectResets; }

    std::optional<std::uint32_t> storeSlots;
    bool failStoreCreation = false;
    int storesCreated = 0;
    int storesFreed = 0;
    int indexTransferStarts = 0;
    int previewActivations = 0;
    int reconnectCloses = 0;
    int reconnectResets = 0;
};

}  // namespace fotolyx
