#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>

#include "camera_index/capture_windows.h"
#include "camera_index/index_transfer.h"
#include "camera_index/picture_ports.h"
#include "camera_index/please_wait_dialog.h"
#include "imaging/jpeg_codec.h"
#include "link/watchdog.h"

namespace fotolyx {

// The picture download (TransferMode 1): one picture or a sequence of the marked ones, each
// into a new Capture window, optionally saved and closed as it arrives. One per program.
class PictureDownload final : public CaptureWindowsObserver {
  public:
    PictureDownload(PicturePorts ports, IndexTransfer& index, CaptureWindows& captures,
                    PleaseWaitDialog& pleaseWait);
    PictureDownload(const PictureDownload&) = delete;
    PictureDownload& operator=(const PictureDownload&) = delete;

    // A downloaded picture's JPEG as the camera sent it, once it has decoded and before any
    // treatment (for hosts that keep it); the bytes live only for the call.
    std::function<void(unsigned position, std::span<const std::uint8_t> jpeg)> pictureArrived;

    // The packet handler of TransferMode 1.
    void DownloadPacket();

    // Starts one download for a position (pixel block, window, digits, DATA_TRANS).
    void StartDownload(unsigned position, bool alwaysShowDialog);
    // Data in: the marked picture, or the next of a sequence of marked ones.
    void DataIn();
    void SaveAfterDownloadAll();
    // The user closed a please-wait dialog (OK, Cancel or Esc).
    void PleaseWaitClosed(PleaseWait dialog);
    // A timer of a Capture window fired; false for other windows.
    bool CaptureTimerFired(WindowId window, int id);
    // Reconnect: greys the menus, closes the Capture windows and any please-wait dialog.
    void CloseForReconnect();

    // --- CaptureWindowsObserver.
    void CaptureClosing(WindowId window) override;
    void CaptureSaved(WindowId window) override;

    DownloadState download;

  private:
    void Write(std::uint8_t byte);
    void DownloadBadPacket();
    void DownloadComplete();
    // A download failed or was given up: the whole sequence ends (no next picture, no save
    // after download, DATA_TRANS closed, "Ready").
    void EndDownloadSequence();
    bool DecodePicture(PictureWindow& window, const PictureEntry& entry);

    PicturePorts ports_;
    IndexTransfer& index_;
    CaptureWindows& captures_;
    PleaseWaitDialog& pleaseWait_;
    std::optional<Watchdog> captureWatchdog_;
    JpegState jpeg_;
};

}  // namespace fotolyx
