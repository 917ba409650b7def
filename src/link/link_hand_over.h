#pragma once

#include <cstdint>

namespace fotolyx {

// What the connection set-up and its recovery need from the rest of the program. The link
// calls these; the program's wiring connects them to the picture index, the windows and menus.
class LinkHandOver {
  public:
    virtual ~LinkHandOver() = default;

    // The thumbnail store that MODE_CAMERA keeps, recreates or creates.
    virtual bool ThumbnailStoreExists() const = 0;
    virtual void FreeThumbnailStore() = 0;
    // Creates a store of slotCount slots; false when the memory cannot be had.
    virtual bool CreateThumbnailStore(std::uint32_t slotCount) = 0;

    // The set-up is done: request the picture index (its counters first, then its first byte).
    virtual void StartIndexTransfer() = 0;

    // Re-set-up, 200 ms after RESET_LINK: the Preview takes over from an active Live image window.
    virtual void ActivatePreviewIfLiveActive() = 0;

    // Reconnect: grey the index's menu items, close the image windows and any please-wait dialog
    // (before the line is purged) ...
    virtual void CloseForReconnect() = 0;
    // ... then reset every transfer's counters and flags, the selection, the scroll bar and the
    // thumbnail slots (after the link's own state is reset).
    virtual void ResetForReconnect() = 0;
};

// Slots of the thumbnail store for the identification's V and picture count P.
inline std::uint32_t ThumbnailStoreSlots(std::uint32_t value, std::uint16_t pictureCount) {
    const std::uint64_t slots = std::uint64_t{value} / 40'960 + pictureCount + 4;
    return slots < 800 ? static_cast<std::uint32_t>(slots) : 800;
}

}  // namespace fotolyx
