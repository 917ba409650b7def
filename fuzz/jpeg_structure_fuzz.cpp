// The JPEG inspections: head, frame information, the standard-table test, compaction and the
// data length, on the same input as a file and as bytes.
#include <cstdlib>

#include "fuzz_input.h"
#include "imaging/jpeg_structure.h"
#include "support/fakes.h"

using namespace fotolyx;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    const auto path = fuzzing::WriteInputFile("input.jpg", bytes);
    testing::RecordingShell shell;

    const auto head = ReadJpegHead(path);
    if (head && head->size() > size) {
        std::abort();
    }
    JpegFrameInfo info;
    (void)ReadJpegFrameInfo(shell, path, info);
    (void)HasStandardHuffmanTables(shell, path);

    if (JpegDataLength(bytes) > size) {
        std::abort();
    }
    if (const auto compact = CompactJpeg(bytes)) {
        // Compaction only drops and merges segments: compacting again changes nothing more.
        const auto again = CompactJpeg(*compact);
        if (!again || JpegDataLength(*again) > again->size()) {
            std::abort();
        }
    }
    (void)ReadAndCompactJpeg(path);
    return 0;
}
