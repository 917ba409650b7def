#pragma once

#include <filesystem>
#include <string>

#include "imaging/dib_block.h"
#include "imaging/jpeg_codec.h"
#include "imaging/save_pipeline.h"
#include "support/fakes.h"

namespace fotolyx::testing {

// One program's worth of save state in a throw-away folder.
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

    // Temporary files left behind.
    std::size_t LeftoverTemporaries() const {
        std::size_t count = 0;
        for ([[maybe_unused]] const auto& entry :
             std::filesystem::directory_iterator(dir / "tmp")) {
            ++count;
        }
        for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
            count += entry.path().filename().string().rfind(".", 0) == 0 ? 1 : 0;
        }
        return count;
    }
};

}  // namespace fotolyx::testing
