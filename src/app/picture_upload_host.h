#pragma once

#include <algorithm>
#include <cstdint>

#include "camera_index/index_transfer.h"
#include "camera_index/please_wait_dialog.h"
#include "ports/shell.h"
#include "upload/picture_upload.h"
#include "windows/picture_window.h"

namespace fotolyx {

// Connects the upload to the picture index, the Preview window and the frame.
class PictureUploadHost final : public UploadHost {
  public:
    PictureUploadHost(IndexTransfer& index, PleaseWaitDialog& pleaseWait, Shell& shell)
        : index_(index), pleaseWait_(pleaseWait), shell_(shell) {}

    std::uint16_t ReceivedCount() const override { return index_.index.receivedCount; }
    void SetReceivedCount(std::uint16_t count) override {
        index_.index.receivedCount =
            static_cast<std::uint16_t>(std::min<std::size_t>(count, INDEX_POSITIONS));
    }
    std::uint16_t IndexPositions() const override {
        return static_cast<std::uint16_t>(INDEX_POSITIONS);
    }
    std::uint16_t ReportedCount() const override { return index_.index.reportedCount; }
    void SetReportedCount(std::uint16_t count) override { index_.index.reportedCount = count; }

    // Positions past the index or the thumbnail store are not written.
    void StoreEntry(std::uint16_t position, const UploadEntry& entry) override {
        if (position < INDEX_POSITIONS) {
            PictureEntry& stored = index_.index.entries[position];
            stored.attribute = entry.attribute;
            stored.width = entry.width;
            stored.height = entry.height;
            stored.listText = entry.listText.substr(0, ENTRY_TEXT_FIELD - 1);
            stored.fileName = entry.fileName.substr(0, ENTRY_TEXT_FIELD - 1);
        }
        if (index_.store && position < index_.store->SlotCount()) {
            const auto slot = index_.store->Slot(position);
            std::copy_n(entry.thumbnailSlot.begin(),
                        std::min(slot.size(), entry.thumbnailSlot.size()), slot.begin());
        }
    }
    void BlankEntry(std::uint16_t position) override {
        if (position < INDEX_POSITIONS) {
            index_.index.entries[position].listText.clear();
        }
        if (index_.store && position < index_.store->SlotCount()) {
            index_.store->ClearPixels(position);
        }
    }

    void EnableDeleteAll() override {
        shell_.EnableMenuItem(MenuBar::Preview, CMD_DELETE_ALL, true);
    }
    void ScrollPreviewDownOneRow() override {
        SelectionState& selection = index_.selection;
        ++selection.LastRow;
        const ScrollBarState bar{0, selection.LastRow, 1, selection.LastRow};
        index_.previewScrollBar = bar;
        shell_.SetScrollBar(PREVIEW_WINDOW, ScrollBarKind::Vertical, bar);
        index_.ScrollPreview(SB_LINEDOWN, 0);
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
    void ShowDataTransferDialog() override { pleaseWait_.Show(PleaseWait::DataTrans); }
    void EndDataTransferDialog() override { pleaseWait_.End(); }

  private:
    IndexTransfer& index_;
    PleaseWaitDialog& pleaseWait_;
    Shell& shell_;
};

}  // namespace fotolyx
