// BMP files as the file routines read them: ReadDibFile, LoadDibFile and the core-header
// conversion, each result checked against the block it claims to be.
#include <cstdlib>

#include "fuzz_input.h"
#include "imaging/bmp_file.h"

using namespace fotolyx;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto path = fuzzing::WriteInputFile("input.bmp", {data, size});

    const DibFileResult read = ReadDibFile(path);
    if (read.block.has_value() == (read.errorCode != 0)) {
        std::abort();  // exactly one of block and code
    }
    if (read && ReadLe32(read.block->data()) == CORE_HEADER_SIZE) {
        (void)ConvertCoreDib(*read.block);
    }

    const DibFileResult loaded = LoadDibFile(path);
    if (loaded && ReadLe32(loaded.block->data()) != INFO_HEADER_SIZE) {
        std::abort();  // a loaded block always has the 40-byte header
    }
    if (loaded.block.has_value() != read.block.has_value()) {
        std::abort();  // loading takes exactly the files that reading takes
    }
    return 0;
}
