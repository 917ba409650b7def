#pragma once

#include <cstdint>
#include <functional>

#include "camera_index/camera_pictures.h"
#include "link/link_hand_over.h"

namespace fotolyx {

// Connects the link set-up to the camera pictures and, through the hooks the program sets, to
// its other windows.
class PictureHandOver final : public LinkHandOver {
  public:
    explicit PictureHandOver(CameraPictures& pictures) : pictures_(pictures) {}

    bool ThumbnailStoreExists() const override { return pictures_.ThumbnailStoreExists(); }
    void FreeThumbnailStore() override { pictures_.FreeThumbnailStore(); }
    bool CreateThumbnailStore(std::uint32_t slotCount) override {
        return pictures_.CreateThumbnailStore(slotCount);
    }
    void StartIndexTransfer() override {
        if (linkUp) {
            linkUp();
        }
        pictures_.StartIndexTransfer();
    }
    void ActivatePreviewIfLiveActive() override {
        if (activatePreviewIfLiveActive) {
            activatePreviewIfLiveActive();
        }
    }
    void CloseForReconnect() override {
        pictures_.CloseForReconnect();
        if (closeOtherWindows) {
            closeOtherWindows();
        }
    }
    void ResetForReconnect() override {
        pictures_.ResetForReconnect();
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
    CameraPictures& pictures_;
};

}  // namespace fotolyx
