// FindExifTag and SetExifTag on arbitrary blocks. The first three bytes choose the tag (one of
// the program's or any 16-bit number), the byte order and what is written; the rest is the APP1
// block (marker, length, "Exif\0\0", TIFF data).
#include <array>
#include <string_view>
#include <vector>

#include "fuzz_input.h"
#include "imaging/exif_writer.h"
#include "support/fakes.h"

using namespace fotolyx;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr std::array<std::uint16_t, 9> TAGS = {TAG_DATE_TIME,
                                                   TAG_EXIF_POINTER,
                                                   TAG_DATE_TIME_ORIGINAL,
                                                   TAG_DATE_TIME_DIGITIZED,
                                                   TAG_PIXEL_X_DIMENSION,
                                                   TAG_PIXEL_Y_DIMENSION,
                                                   TAG_INTEROPERABILITY_POINTER,
                                                   TAG_JPEG_INTERCHANGE_FORMAT,
                                                   TAG_JPEG_INTERCHANGE_FORMAT_LENGTH};
    fuzzing::InputReader input({data, size});
    const std::uint8_t choice = input.Byte();
    const std::uint16_t anyTag =
        static_cast<std::uint16_t>(input.Byte() | (std::uint16_t{input.Byte()} << 8));
    const std::uint16_t tag = (choice & 0x10) != 0 ? anyTag : TAGS[(choice & 0x0F) % TAGS.size()];
    const ByteOrder order = (choice & 0x20) != 0 ? ByteOrder::Big : ByteOrder::Little;

    // A block of exactly the input's size, so any access past it is caught.
    const auto rest = input.Rest();
    std::vector<std::uint8_t> block(rest.begin(), rest.end());
    if (block.size() > EXIF_TIFF_OFFSET) {
        (void)FindExifTag(std::span<const std::uint8_t>(block).subspan(EXIF_TIFF_OFFSET), tag,
                          order);
    }
    (void)FindExifTag(block, tag, order);

    testing::RecordingShell shell;
    constexpr std::string_view TEXT = "2002:07:15 09:05:00";
    const std::optional<std::string_view> text =
        (choice & 0x40) != 0 ? std::optional(TEXT.substr(0, choice % (TEXT.size() + 1)))
                             : std::nullopt;
    (void)SetExifTag(shell, block, tag, text, anyTag * 65'537u);
    (void)SetExifSegmentLength(block, anyTag * std::size_t{3});
    return 0;
}
