// Opening a picture file into the 640 x 480 WorkImage, as the Open command does: every input is
// opened as a JPEG (decoded into the scratch file first) and as a BMP.
#include <cstdlib>

#include "fuzz_input.h"
#include "support/fakes.h"
#include "windows/open_picture.h"

using namespace fotolyx;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto path = fuzzing::WriteInputFile("picture", {data, size});
    testing::RecordingShell shell;
    JpegState jpeg;
    OpenPictureContext context{shell, jpeg, fuzzing::FuzzFolder() / "scratchA"};
    DibBlock workImage(std::vector<std::uint8_t>(WORK_IMAGE_PIXEL_BYTES + INFO_HEADER_SIZE));

    for (const int filter : {OPEN_FILTER_JPEG, OPEN_FILTER_BMP}) {
        const std::size_t messagesBefore = shell.messages.size();
        const bool opened = OpenPictureFile(context, path, filter, workImage);
        if (!opened && shell.messages.size() == messagesBefore) {
            std::abort();  // a refusal always says why
        }
        if (workImage.size() != WORK_IMAGE_PIXEL_BYTES + INFO_HEADER_SIZE) {
            std::abort();  // the work image keeps its size
        }
    }
    return 0;
}
