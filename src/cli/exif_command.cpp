#include <iostream>

#include "cli/cli.h"
#include "cli/picture_session.h"
#include "imaging/atomic_file.h"
#include "imaging/exif_save.h"

namespace fotolyx::cli {

// Rewrites a JPEG file with the program's Exif block and thumbnail (OUT may be IN).
int RunExif(Context& context, const Arguments& arguments) {
    if (arguments.size() != 2) {
        std::cerr << "usage: fotolyx-cli exif IN.jpg OUT.jpg\n";
        return 2;
    }
    // What the output may not become (a pipe, a read-only file, a missing folder) is told
    // before any work.
    const SaveTarget target = ExamineSaveTarget(arguments[1]);
    if (!target.error.empty()) {
        std::cerr << "ERROR: " << target.error << '\n';
        return 1;
    }
    PictureSession session(context);
    return session.SaveJpegWithExif(arguments[0], arguments[1]) == 1 ? 0 : 1;
}

}  // namespace fotolyx::cli
