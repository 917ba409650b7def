// JPEG files through the decoder into a BMP file, plain or quantised to a colour count the
// input's size chooses; a decoded bitmap must be one the BMP reader takes.
#include <cstdlib>

#include "fuzz_input.h"
#include "imaging/bmp_file.h"
#include "imaging/jpeg_codec.h"

using namespace fotolyx;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr int COLOUR_COUNTS[] = {0, 256, 17};
    const auto input = fuzzing::WriteInputFile("input.jpg", {data, size});
    const auto output = fuzzing::FuzzFolder() / "output.bmp";
    JpegState state;
    const int done = DecompressJpegToBmp(state, input, output, COLOUR_COUNTS[size % 3]);
    if ((done == 1) == state.JpegErrorFlag) {
        std::abort();  // the result and the flag agree
    }
    if (done == 1 && !ReadDibFile(output)) {
        std::abort();
    }
    return 0;
}
