#pragma once

#include "imaging/jpeg_codec.h"
#include "imaging/save_pipeline.h"
#include "support/fakes.h"

namespace fotolyx::testing {

struct SaveWorld {
    TempDir dir;
    RecordingShell shell;
    FixedClock clock;
    FixedFreeSpace freeSpace;
    FailingMemory memory;
    JpegState jpeg;
    SaveState save;
    std::string initialDirectory = "/start";
    SaveContext context{shell,
                        clock,
                        freeSpace,
                        memory,
                        jpeg,
                        save,
                        dir / "scratchA",
                        dir / "scratchB",
                        dir / "tmp",
                        initialDirectory};

    SaveWorld() { std::filesystem::create_directory(dir / "tmp"); }

    std::filesystem::path Path(const std::string& name) const { return dir / name; }

    SaveAsResult Save(SaveWindowKind kind, const DibBlock& picture, const std::string& name,
                      int filter) {
        shell.scriptedSaveAnswers.push_back(SaveDialogResult{Path(name).string(), filter});
        return SaveAsFlow(context, kind, picture, "proposed");
    }

    std::size_t LeftoverTemporaries() const {
        namespace fs = std::filesystem;
        const auto hidden = [](const fs::path& path) { return path.filename().string()[0] == '.'; };
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(dir / "tmp"), fs::directory_iterator()) +
            std::count_if(fs::directory_iterator(dir.path()), fs::directory_iterator(), hidden));
    }
};

}  // namespace fotolyx::testing
