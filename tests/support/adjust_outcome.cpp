#include "support/adjust_outcome.h"

#include <gtest/gtest.h>

#include "adjust/adjust_dialog.h"

namespace fotolyx::testing {

AdjustOutcome AdjustWithoutDialog(const DibBlock& original, const EngineSteps& steps) {
    AdjustEngine engine;
    DibBlock before{std::vector<std::uint8_t>(BEFORE_PREVIEW_BLOCK)};
    DibBlock output{std::vector<std::uint8_t>(original.size())};
    AdjustPlanes planes = AdjustPlanes::ForPicture(DibWidth(original), DibHeight(original));
    EXPECT_TRUE(MakePreviewPair(original, before, output));
    EXPECT_TRUE(engine.AnalysePreview(before, planes));
    steps(engine, before, output, planes);
    const AdjustSettings settings = engine.settings;
    EXPECT_TRUE(engine.ApplyToPicture(original, output, planes));
    return {output.storage(), settings};
}

}  // namespace fotolyx::testing
