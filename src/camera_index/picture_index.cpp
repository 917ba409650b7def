#include "camera_index/picture_index.h"

#include <array>

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

std::optional<std::string> FormatPictureName(std::string_view pattern, unsigned position,
                                             const PictureEntry& entry, std::string& error) {
    auto digits = [](int value, int width) {
        std::string text = std::to_string(value);
        return std::string(text.size() < static_cast<std::size_t>(width) ? width - text.size() : 0,
                           '0') +
               text;
    };
    std::string name;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '/') {
            error = "a file name pattern may not name a folder ('/')";
            return std::nullopt;
        }
        if (pattern[i] != '%') {
            name += pattern[i];
            continue;
        }
        if (++i == pattern.size()) {
            error = "the file name pattern ends in '%'";
            return std::nullopt;
        }
        const char field = pattern[i];
        const TakenAt& t = entry.takenAt;
        if (std::string_view("YymdHM").find(field) != std::string_view::npos && !t.Valid()) {
            error = "picture " + std::to_string(position + 1) + " has no valid date";
            return std::nullopt;
        }
        switch (field) {
            case 'Y':
                name += digits(t.year, 4);
                break;
            case 'y':
                name += digits(t.year % 100, 2);
                break;
            case 'm':
                name += digits(t.month, 2);
                break;
            case 'd':
                name += digits(t.day, 2);
                break;
            case 'H':
                name += digits(t.hour, 2);
                break;
            case 'M':
                name += digits(t.minute, 2);
                break;
            case 'n':
                name += std::to_string(position + 1);
                break;
            case 'N':
                name += digits(static_cast<int>(position) + 1, 3);
                break;
            case 'q':
                name += entry.Fine() ? 'F' : 'N';
                break;
            case '%':
                name += '%';
                break;
            default:
                error = std::string("unknown field '%") + field + "' in the file name pattern";
                return std::nullopt;
        }
    }
    if (name.empty() || name == "." || name == "..") {
        error = "the file name pattern gives no usable name";
        return std::nullopt;
    }
    return name;
}

bool TakenAt::Valid() const {
    constexpr std::array<int, 12> DAYS_IN_MONTH = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1 || day > DAYS_IN_MONTH[month - 1] || hour < 0 ||
        hour > 23 || minute < 0 || minute > 59) {
        return false;
    }
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month != 2 || day <= 28 || leap;
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
