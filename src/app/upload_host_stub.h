#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "upload/picture_upload.h"

namespace fotolyx {

// Stands in for the picture index, the Preview window and the frame's progress bar and wait
// dialog until they exist: keeps the counts and entries the upload asks for and records the rest.
class UploadHostStub final : public UploadHost {
  public:
    struct StoredEntry {
        std::uint8_t attribute = 0;
        std::uint16_t width = 0;
        std::uint16_t height = 0;
        std::string listText;
        std::string fileName;
        std::vector<std::uint8_t> slot;
    };

    std::uint16_t ReceivedCount() const override { return receivedCount; }
    void SetReceivedCount(std::uint16_t count) override { receivedCount = count; }
    std::uint16_t ReportedCount() const override { return reportedCount; }
    void SetReportedCount(std::uint16_t count) override { reportedCount = count; }
    void StoreEntry(std::uint16_t position, const UploadEntry& entry) override {
        entries[position] =
            StoredEntry{entry.attribute, entry.width,
                        entry.height,    entry.listText,
                        entry.fileName,  {entry.thumbnailSlot.begin(), entry.thumbnailSlot.end()}};
    }
    void BlankEntry(std::uint16_t position) override {
        StoredEntry& entry = entries[position];
        entry.listText.clear();
        if (entry.slot.size() > 40) {
            std::fill(entry.slot.begin() + 40, entry.slot.end(), std::uint8_t{0x80});
        }
        ++blanked;
    }
    void EnableDeleteAll() override { deleteAllEnabled = true; }
    void ScrollPreviewDownOneRow() override { ++rowsScrolled; }
    void InvalidatePreview() override { ++previewInvalidations; }
    void ShowProgressBar(bool shown) override { progressShown = shown; }
    void SetProgressRange(std::uint32_t maximum) override { progressRange = maximum; }
    void SetProgressPosition(std::uint32_t position) override { progressPosition = position; }
    void ShowDataTransferDialog() override { dialogOpen = true; }
    void EndDataTransferDialog() override { dialogOpen = false; }

    std::uint16_t receivedCount = 0;
    std::uint16_t reportedCount = 0;
    std::map<std::uint16_t, StoredEntry> entries;
    int blanked = 0;
    bool deleteAllEnabled = false;
    int rowsScrolled = 0;
    int previewInvalidations = 0;
    bool progressShown = false;
    std::uint32_t progressRange = 0;
    std::uint32_t progressPosition = 0;
    bool dialogOpen = false;
};

}  // namespace fotolyx
