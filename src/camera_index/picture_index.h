#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ports/memory.h"
#include "ports/shell.h"

namespace fotolyx {

// The index has at most this many positions (the size of the mark table, the bound of every
// scan over the index).
inline constexpr std::size_t INDEX_POSITIONS = 800;
// CurrentPicture when no picture is chosen.
inline constexpr std::int16_t NO_PICTURE = 800;

inline constexpr std::size_t THUMBNAIL_SLOT_SIZE = 59'392;
inline constexpr std::int32_t EMPTY_THUMBNAIL_WIDTH = 128;
inline constexpr std::int32_t EMPTY_THUMBNAIL_HEIGHT = 56;
inline constexpr std::uint8_t EMPTY_SLOT_GREY = 0x80;
inline constexpr std::uint8_t PLACEHOLDER_GREY = 0xE0;
inline constexpr std::size_t ENTRY_TEXT_FIELD = 30;  // list text and file name, with the NUL
// The list text's first three characters are the right-aligned number; they stay with the
// position when entries move.
inline constexpr std::size_t LIST_NUMBER_CHARS = 3;

// Selection marks.
inline constexpr std::uint8_t MARK_NONE = 0;
inline constexpr std::uint8_t MARK_SELECTED = 1;
inline constexpr std::uint8_t MARK_DELETE = 2;

// The date and time of an index entry as the camera sends it (year byte already reduced).
struct EntryDate {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
};

// When the camera says a picture was taken, with the year in full (the camera counts years
// from 1900).
struct TakenAt {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;

    // False for a date no calendar has (month 13, 31 April, 25 o'clock): the camera's clock
    // was never set, or the entry is damaged.
    bool Valid() const;
};

// A file name (without extension) from a pattern: %Y year, %y year in two digits, %m month,
// %d day, %H hour, %M minute (each two digits), %n the picture's number as listed (position +
// 1), %N that number in three digits, %q its mode (F for Fine, N for Normal), %% a percent
// sign. Nothing for an unknown or unfinished %, a pattern that names a folder (/) or gives an
// empty name, or a date field asked of a picture whose date is not valid; error says which.
struct PictureEntry;
std::optional<std::string> FormatPictureName(std::string_view pattern, unsigned position,
                                             const PictureEntry& entry, std::string& error);

// One picture of the camera, at its 0-based position in the index.
struct PictureEntry {
    std::uint8_t attribute = 0;  // low four bits: Fine when not 0; high four: treatment
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    std::string listText;  // at most 29 characters
    std::string fileName;  // at most 29 characters
    TakenAt takenAt;

    bool Fine() const { return (attribute & 0x0F) != 0; }
};

// "%3dN: %02d/%d/%d %d:%02d" (F for a Fine picture), cut to 29 characters.
std::string FormatListText(unsigned position, bool fine, const EntryDate& date);
// "%dN%02d-%d-%d(%d-%d)" (F for a Fine picture), cut to 29 characters.
std::string FormatFileName(unsigned position, bool fine, const EntryDate& date);

// The thumbnails, one 59,392-byte slot per position up to the store's slot count; each slot a
// 40-byte header and bottom-up 24-bit rows.
class ThumbnailStore {
  public:
    // A store of `slots` cleared slots; none when the memory cannot be had.
    static std::optional<ThumbnailStore> Create(Memory& memory, std::uint32_t slots);

    std::uint32_t SlotCount() const { return slots_; }
    std::span<std::uint8_t> Slot(std::size_t position);
    std::span<const std::uint8_t> Slot(std::size_t position) const;

    // Header of an empty slot (128 x 56, 24 bits) and every other byte mid grey.
    void ClearSlot(std::size_t position);
    // Every byte after the header mid grey; the header stays.
    void ClearPixels(std::size_t position);
    // Copies slot `from` over slot `to`; a `from` beyond the store clears `to`.
    void CopySlot(std::size_t from, std::size_t to);

  private:
    std::vector<std::uint8_t> bytes_;
    std::uint32_t slots_ = 0;
};

// Writes the 40-byte header of a 24-bit picture of width x height with every other field 0.
void WriteSlotHeader(std::span<std::uint8_t> slot, std::int32_t width, std::int32_t height);

// The camera's picture list.
struct PictureIndex {
    std::array<PictureEntry, INDEX_POSITIONS> entries{};
    std::uint16_t reportedCount = 0;
    std::uint16_t receivedCount = 0;
    std::uint16_t fineCapacity = 0;
    std::uint16_t normalCapacity = 0;
    bool IndexTransferActive = false;
    bool IndexLoaded = false;

    // The index transfer's entry under way.
    // Counted wider than the camera's numbers need, so that no announced size can wrap them;
    // packets are matched on the low 8 bits.
    std::int32_t blockCounter = 0;
    std::uint32_t dataPacketCount = 0;  // shared with the download (one transfer at a time)
    bool thumbnailTooLarge = false;     // the JPEG would not fit the ThumbnailBuffer
    std::uint32_t thumbnailWriteOffset = 0;
    std::uint16_t thumbnailWidth = 0;
    std::uint16_t thumbnailHeight = 0;
    std::uint32_t thumbnailBytes = 0;  // the entry's thumbnail size as announced
    std::string pendingListText;

    // Numbered command sequences (index request, Delete Page).
    std::uint8_t CommandStep = 0;
    bool DeleteSession = false;
};

// The Preview's selection, shared with the download and the deletion.
struct SelectionState {
    std::array<std::uint8_t, INDEX_POSITIONS> SelectionMark{};
    std::int16_t CurrentPicture = NO_PICTURE;
    std::uint16_t SelectionAnchor = 0;
    std::uint16_t SelectedCount = 0;
    // Rows of four: wide enough for the rows of any count the camera may report.
    std::uint16_t TopRow = 0;
    std::uint16_t LastRow = 0;
};

// The picture download's state.
struct DownloadState {
    std::int32_t blockCounter = 0;
    bool overrun = false;  // the picture would not fit the TransferBuffer
    std::uint32_t writeOffset = 0;
    std::uint32_t announcedBytes = 0;  // the picture's size as its header packet gives it
    std::uint16_t TargetNumber = 0;
    std::uint8_t LastCommandByte = 0;
    bool CaptureWaiting = false;
    bool SaveAfterDownload = false;
    std::uint16_t RemainingCount = 0;
    // The Capture window this download fills (kept rather than asking for the active child).
    WindowId captureWindow = 0;
};

}  // namespace fotolyx
