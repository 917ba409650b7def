#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "imaging/dib_block.h"
#include "imaging/save_pipeline.h"
#include "link/link_state.h"
#include "link/protocol.h"
#include "ports/local_clock.h"
#include "ports/messages.h"
#include "ports/serial_line.h"
#include "ports/shell.h"
#include "ports/timers.h"

namespace fotolyx {

inline constexpr int UPLOAD_TIMER_WATCHDOG = 1;
inline constexpr int UPLOAD_TIMER_SECOND = 2;
inline constexpr int UPLOAD_WATCHDOG_MS = 1500;

inline constexpr int UPLOAD_FIRST_QUALITY = 70;
inline constexpr int UPLOAD_THUMBNAIL_QUALITY = 10;
inline constexpr int FINE_LARGE_QUALITY = 45;
inline constexpr int NORMAL_LARGE_QUALITY = 60;
inline constexpr std::uint32_t FINE_QUALITY_THRESHOLD = 90'112;    // above: quality 45
inline constexpr std::uint32_t NORMAL_QUALITY_THRESHOLD = 39'936;  // above: quality 60
inline constexpr std::size_t UPLOAD_SLOT_SIZE = 59'392;

// The upload's process-wide state.
struct UploadState {
    std::uint32_t UploadSize = 0;
    std::uint32_t UploadThumbSize = 0;
    std::uint8_t UploadMode = 0;  // 0 Fine, 1 Normal
    std::uint16_t UploadPacketNumber = 0;
    std::uint32_t SendOffset = 0;
    std::uint8_t SendingThumb = 0;
    std::uint16_t TotalPackets = 0;
    // The date and time the picture's header carries, taken when UPLOAD_READY arrives.
    UploadDate headerDate;
    // The index position of the entry prepared for this upload.
    std::uint16_t preparedPosition = 0;
    // The Openfile window whose timers watch the upload.
    WindowId window = 0;
    // Uploads confirmed and refused by the camera (for hosts that wait for them).
    std::uint32_t uploadsDone = 0;
    std::uint32_t uploadsFull = 0;
};

// The index entry an upload prepares.
struct UploadEntry {
    std::uint8_t attribute = 0;
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    std::string listText;
    std::string fileName;
    std::span<const std::uint8_t> thumbnailSlot;  // the 59,392 bytes of the thumbnail bitmap
};

// What the upload needs of the picture index, the Preview window and the frame; the program's
// wiring connects it.
class UploadHost {
  public:
    virtual ~UploadHost() = default;

    virtual std::uint16_t ReceivedCount() const = 0;
    virtual void SetReceivedCount(std::uint16_t count) = 0;
    // The positions the index has; an upload into a full index is refused.
    virtual std::uint16_t IndexPositions() const = 0;
    virtual std::uint16_t ReportedCount() const = 0;
    virtual void SetReportedCount(std::uint16_t count) = 0;
    // Writes the entry and its thumbnail slot at a position (not counted yet).
    virtual void StoreEntry(std::uint16_t position, const UploadEntry& entry) = 0;
    // The slot's pixels to mid-grey (its header stays) and the list text to zeros.
    virtual void BlankEntry(std::uint16_t position) = 0;

    virtual void EnableDeleteAll() = 0;
    // LastRow one further, the scroll bar to it, and the Preview one row down.
    virtual void ScrollPreviewDownOneRow() = 0;
    virtual void InvalidatePreview() = 0;

    virtual void ShowProgressBar(bool shown) = 0;
    virtual void SetProgressRange(std::uint32_t maximum) = 0;
    virtual void SetProgressPosition(std::uint32_t position) = 0;
    // The DATA_TRANS please-wait dialog.
    virtual void ShowDataTransferDialog() = 0;
    virtual void EndDataTransferDialog() = 0;
};

struct UploadPorts {
    LinkState& link;
    SerialLine& line;
    Timers& timers;
    Shell& shell;
    LocalClock& clock;
    UploadHost& host;
    std::optional<std::vector<std::uint8_t>>& transferBuffer;   // TransferBuffer
    std::optional<std::vector<std::uint8_t>>& thumbnailBuffer;  // ThumbnailBuffer
    std::function<SaveContext()> saveContext;
    std::function<void()> openDisconnectDialog;
};

// "%3dF: %02d/%d/%d %d:%02d" and "%dF%02d-%d-%d(%d-%d)" (N for Normal) for position p.
std::string UploadListText(bool fine, unsigned position, const LocalTime& time);
std::string UploadFileName(bool fine, unsigned position, const LocalTime& time);

// The quality the Exif save re-encodes an upload with, from the size of its first encoding.
int UploadSaveQuality(bool fine, std::uint32_t firstSize);

// Data out to camera: prepares the picture and thumbnail files, then sends both, one packet per
// one-byte answer of the camera.
class PictureUpload {
  public:
    PictureUpload(UploadState& state, UploadPorts ports)
        : state_(state), ports_(std::move(ports)) {}

    // Fine mode (40006) or Normal mode (40009) with a window's 640 x 480 picture. False, with a
    // message and nothing sent, when the files cannot be made or would not fit their buffers.
    bool Start(WindowId window, bool fine, const DibBlock& picture);
    // The answer handler (TransferMode 4): one byte in the ReceiveBuffer.
    void HandleAnswer();
    // Timers 1 and 2 of the window the upload was started from.
    void Timer(WindowId window, int id);

    // Packet k of the current file as it is sent (0: the header).
    Packet CurrentPacket() const;

  private:
    bool Prepare(bool fine, const DibBlock& picture);
    std::optional<std::uint32_t> CompressInto(const std::filesystem::path& bitmap,
                                              std::vector<std::uint8_t>& buffer, int quality);
    std::optional<std::uint32_t> ReadInto(const std::filesystem::path& file,
                                          std::vector<std::uint8_t>& buffer);
    void SendCurrentPacket();
    void Finish();
    bool Refuse(const char* text, const char* caption);

    UploadState& state_;
    UploadPorts ports_;
};

}  // namespace fotolyx
