#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "camera_index/picture_index.h"
#include "camera_index/preview_window.h"
#include "imaging/jpeg_codec.h"
#include "imaging/palette.h"
#include "link/link_state.h"
#include "link/watchdog.h"
#include "ports/memory.h"
#include "ports/messages.h"
#include "ports/serial_line.h"
#include "ports/shell.h"
#include "ports/timers.h"
#include "windows/picture_window.h"

namespace fotolyx {

// The program state and ports the camera pictures work with; the program binds them.
struct CameraPicturesContext {
    LinkState& link;
    SerialLine& line;
    Timers& timers;
    Shell& shell;
    Memory& memory;
    const bool& trueColourDisplay;
    std::optional<LogPalette>& screenPalette;
    std::optional<LogPalette>& imagePalette;
    std::optional<LogPalette>& displayPalette;
    std::optional<std::vector<std::uint8_t>>& transferBuffer;
    std::optional<std::vector<std::uint8_t>>& thumbnailBuffer;
    const std::filesystem::path& scratchFileA;
    const std::filesystem::path& scratchFileB;
    std::function<SaveContext()> makeSaveContext;
    std::function<void()> openDisconnectDialog;
    // Reload: RESET_LINK and the re-set-up on the same port.
    std::function<void()> startResetup;
};

// The camera's picture index with its thumbnails, the Preview window's logic, the picture
// download into Capture windows, and delete and reload. One per program.
class CameraPictures final : public PictureWindowHost {
  public:
    explicit CameraPictures(CameraPicturesContext context);
    ~CameraPictures() override;
    CameraPictures(const CameraPictures&) = delete;
    CameraPictures& operator=(const CameraPictures&) = delete;

    // --- What the link set-up hands over.
    bool ThumbnailStoreExists() const { return store.has_value(); }
    void FreeThumbnailStore() { store.reset(); }
    bool CreateThumbnailStore(std::uint32_t slotCount);
    // Requests the index from picture 000 (DIGIT_UNITS 0, step 3, watchdog 1,500 ms).
    void StartIndexTransfer();
    // Reconnect: greys the menus, closes the Capture windows and any please-wait dialog ...
    void CloseForReconnect();
    // ... and, after the link's own reset, resets every counter, the selection and the slots.
    void ResetForReconnect();

    // --- The camera's own JPEG bytes, for hosts that keep them: a downloaded picture once it
    // has decoded (before any treatment), and an index entry's thumbnail before it is decoded.
    // The bytes live only for the call.
    std::function<void(unsigned position, std::span<const std::uint8_t> jpeg)> pictureArrived;
    std::function<void(unsigned position, std::span<const std::uint8_t> jpeg)> thumbnailArrived;

    // --- Packet handlers: TransferMode 0 (index, deletion answers) and 1 (download).
    void IndexPacket();
    void DownloadPacket();

    // --- Commands of the Preview (also reached through its buttons and menu).
    // Starts one download for a position (pixel block, window, digits, DATA_TRANS).
    void StartDownload(unsigned position, bool alwaysShowDialog);
    void DataIn();
    void SaveAfterDownloadAll();
    void DeletePage();
    void DeleteAll();
    void Reload();

    // The user closed a please-wait dialog (OK, Cancel or Esc).
    void PleaseWaitClosed(PleaseWait dialog);
    std::optional<PleaseWait> PleaseWaitDialog() const { return pleaseWait_; }
    // Shows a please-wait dialog as the program's one PleaseWaitDialog (the upload's DATA_TRANS
    // too), so that Reload and Reconnect close it like the others.
    void ShowPleaseWait(PleaseWait dialog);
    // Closes the please-wait dialog when one is open.
    void EndPleaseWait();

    // --- Windows.
    // A timer of the Preview or of a Capture window fired; false for other windows.
    bool TimerFired(WindowId window, int id);
    PictureWindow* Capture(WindowId window);
    std::vector<WindowId> CaptureWindows() const;
    // Closes a Capture window as the user would (save prompt, then destruction).
    void CloseWindow(WindowId window);
    // WM_DESTROY of a Capture window: cancels a pending download and frees the window.
    void DestroyCapture(WindowId window);

    // --- PictureWindowHost of the Capture windows.
    std::string DefaultFileName(std::uint32_t position) const override;
    SaveContext MakeSaveContext() override { return context_.makeSaveContext(); }
    void AfterSaveAs(WindowId window) override;
    Memory& WindowMemory() override { return context_.memory; }

    PictureIndex index;
    std::optional<ThumbnailStore> store;
    SelectionState selection;
    DownloadState download;
    ScrollBarState previewScrollBar = PREVIEW_NO_THUMB;
    PreviewWindow preview{*this};
    JpegState jpeg;

  private:
    friend class PreviewWindow;

    void Write(std::uint8_t byte);
    void IndexBadPacket();
    // The eleventh bad packet in a row may mean that messages no longer start where the receiver
    // thinks (bytes were lost or added on the line): the restart byte goes out once the line has
    // had a quiet moment, with whatever arrived meanwhile dropped, so that the restarted unit is
    // read from its first byte. Packets that arrive in the meantime get no answer.
    void RestartWhenQuiet(std::uint8_t restartByte);
    void QuietRestartDue();
    bool QuietRestartPending() const { return quietRestart_.has_value(); }
    void IndexDataPacket(const Packet& packet);
    void IndexEntryComplete();
    void IndexEnded();
    void IndexEmpty();
    void IndexReady();
    void DeleteStep();
    void RemoveDeleted();
    void DownloadBadPacket();
    void DownloadComplete();
    // A download failed or was given up: the whole sequence ends (no next picture, no save
    // after download, DATA_TRANS closed, "Ready").
    void EndDownloadSequence();
    // The position Data in and Delete Page act on: the current picture when it is marked,
    // else the highest marked one; none when nothing is marked.
    std::optional<unsigned> MarkedTarget() const;
    bool DecodePicture(PictureWindow& window, const PictureEntry& entry);
    bool DecodeThumbnail();
    void SetPreviewScrollBar(const ScrollBarState& state);
    void ResetTransferState();
    void ClearSlotsAndTexts();

    CameraPicturesContext context_;
    Watchdog previewWatchdog_;
    struct QuietRestart {
        std::uint8_t byte;
        TransferMode transferMode;
    };
    std::optional<QuietRestart> quietRestart_;
    std::optional<Watchdog> captureWatchdog_;
    std::optional<PleaseWait> pleaseWait_;
    std::map<WindowId, std::unique_ptr<PictureWindow>> captures_;
    WindowId nextCaptureId_ = FIRST_CAPTURE_WINDOW;
};

}  // namespace fotolyx
