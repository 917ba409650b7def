#include "camera_index/picture_index.h"

#include <algorithm>
#include <cstdio>

#include "imaging/dib_block.h"

namespace fotolyx {

namespace {

std::string FormatEntry(const char* format, unsigned position, bool fine, const EntryDate& date) {
    char text[ENTRY_TEXT_FIELD] = {};
    std::snprintf(text, sizeof text, format, position + 1, fine ? 'F' : 'N', date.year, date.month,
                  date.day, date.hour, date.minute);
    return text;
}

}  // namespace

std::string FormatListText(unsigned position, bool fine, const EntryDate& date) {
    return FormatEntry("%3u%c: %02d/%d/%d %d:%02d", position, fine, date);
}

std::string FormatFileName(unsigned position, bool fine, const EntryDate& date) {
    return FormatEntry("%u%c%02d-%d-%d(%d-%d)", position, fine, date);
}

void WriteSlotHeader(std::span<std::uint8_t> slot, std::int32_t width, std::int32_t height) {
    std::fill_n(slot.begin(), INFO_HEADER_SIZE, 0);
    std::uint8_t* p = slot.data();
    WriteLe32(p, INFO_HEADER_SIZE);
    WriteLe32(p + 4, static_cast<std::uint32_t>(width));
    WriteLe32(p + 8, static_cast<std::uint32_t>(height));
    WriteLe16(p + 12, 1);
    WriteLe16(p + 14, 24);
}

std::optional<ThumbnailStore> ThumbnailStore::Create(Memory& memory, std::uint32_t slots) {
    const std::uint32_t count = std::min<std::uint32_t>(slots, INDEX_POSITIONS);
    auto block = memory.AllocateZeroed(std::size_t{count} * THUMBNAIL_SLOT_SIZE);
    if (!block) {
        return std::nullopt;
    }
    ThumbnailStore store;
    store.bytes_ = std::move(*block);
    store.slots_ = count;
    for (std::uint32_t i = 0; i < count; ++i) {
        store.ClearSlot(i);
    }
    return store;
}

std::span<std::uint8_t> ThumbnailStore::Slot(std::size_t position) {
    if (position >= slots_) {
        return {};
    }
    return std::span<std::uint8_t>(bytes_).subspan(position * THUMBNAIL_SLOT_SIZE,
                                                   THUMBNAIL_SLOT_SIZE);
}

std::span<const std::uint8_t> ThumbnailStore::Slot(std::size_t position) const {
    if (position >= slots_) {
        return {};
    }
    return std::span<const std::uint8_t>(bytes_).subspan(position * THUMBNAIL_SLOT_SIZE,
                                                         THUMBNAIL_SLOT_SIZE);
}

void ThumbnailStore::ClearSlot(std::size_t position) {
    auto slot = Slot(position);
    if (slot.empty()) {
        return;
    }
    std::fill(slot.begin(), slot.end(), EMPTY_SLOT_GREY);
    WriteSlotHeader(slot, EMPTY_THUMBNAIL_WIDTH, EMPTY_THUMBNAIL_HEIGHT);
}

void ThumbnailStore::ClearPixels(std::size_t position) {
    auto slot = Slot(position);
    if (!slot.empty()) {
        std::fill(slot.begin() + INFO_HEADER_SIZE, slot.end(), EMPTY_SLOT_GREY);
    }
}

void ThumbnailStore::CopySlot(std::size_t from, std::size_t to) {
    auto source = Slot(from);
    auto target = Slot(to);
    if (target.empty() || from == to) {
        return;
    }
    if (source.empty()) {
        // The moved picture never had a slot: its new place shows the empty picture rather than
        // the thumbnail of the picture that was there.
        ClearSlot(to);
        return;
    }
    std::copy(source.begin(), source.end(), target.begin());
}

}  // namespace fotolyx
