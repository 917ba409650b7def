#pragma once

#include <algorithm>
#include <cstdint>

#include "camera_index/camera_pictures.h"
#include "ports/shell.h"
#include "upload/picture_upload.h"
#include "windows/picture_window.h"

namespace fotolyx {

// Connects the upload to the picture index, the Preview window and the frame.
class PictureUploadHost final : public UploadHost {
  public:
    PictureUploadHost(CameraPictures& pictures, Shell& shell)
        : pictures_(pictures), shell_(shell) {}

    std::uint16_t ReceivedCount() const override { return pictures_.index.receivedCount; }
    void SetReceivedCount(std::uint16_t count) override {
        pictures_.index.receivedCount =
            static_cast<std::uint16_t>(std::min<std::size_t>(count, INDEX_POSITIONS));
    }
    std::uint16_t IndexPositions() const override {
        return static_cast<std::uint16_t>(INDEX_POSITIONS);
    }
    std::uint16_t ReportedCount() const override { return pictures_.index.reportedCount; }
    void SetReportedCount(std::uint16_t count) override { pictures_.index.reportedCount = count; }

    // Positions past the index or the thumbnail store are not written.
    void StoreEntry(std::uint16_t position, const UploadEntry& entry) override {
        if (position < INDEX_POSITIONS) {
            PictureEntry& stored = pictures_.index.entries[position];
            stored.attribute = entry.attribute;
            stored.width = entry.width;
            stored.height = entry.height;
            stored.listText = entry.listText.substr(0, ENTRY_TEXT_FIELD - 1);
            stored.fileName = entry.fileName.substr(0, ENTRY_TEXT_FIELD - 1);
        }
        if (pictures_.store && position < pictures_.store->SlotCount()) {
            const auto slot = pictures_.store->Slot(position);
            std::copy_n(entry.thumbnailSlot.begin(),
                        std::min(slot.size(), entry.thumbnailSlot.size()), slot.begin());
        }
    }
    void BlankEntry(std::uint16_t position) override {
        if (position < INDEX_POSITIONS) {
            pictures_.index.entries[position].listText.clear();
        }
        if (pictures_.store && position < pictures_.store->SlotCount()) {
            pictures_.store->ClearPixels(position);
        }
    }

    void EnableDeleteAll() override {
        shell_.EnableMenuItem(MenuBar::Preview, CMD_DELETE_ALL, true);
    }
    void ScrollPreviewDownOneRow() override {
        SelectionState& selection = pictures_.selection;
        ++selection.LastRow;
        const ScrollBarState bar{0, selection.LastRow, 1, selection.LastRow};
        pictures_.previewScrollBar = bar;
        shell_.SetScrollBar(PREVIEW_WINDOW, ScrollBarKind::Vertical, bar);
        pictures_.preview.VScroll(SB_LINEDOWN, 0);
    }
    void InvalidatePreview() override {
        shell_.InvalidateWindow(PREVIEW_WINDOW, std::nullopt, false);
    }

    void ShowProgressBar(bool shown) override { shell_.ShowProgressBar(shown); }
    void SetProgressRange(std::uint32_t maximum) override {
        shell_.SetProgressRange(static_cast<int>(maximum));
    }
    void SetProgressPosition(std::uint32_t position) override {
        shell_.SetProgressPos(static_cast<int>(position));
    }
    void ShowDataTransferDialog() override { pictures_.ShowPleaseWait(PleaseWait::DataTrans); }
    void EndDataTransferDialog() override { pictures_.EndPleaseWait(); }

  private:
    CameraPictures& pictures_;
    Shell& shell_;
};

}  // namespace fotolyx
