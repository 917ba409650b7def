#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

#include "adjust/adjust_dialog.h"

namespace fotolyx::testing {

using EngineSteps = std::function<void(AdjustEngine&, DibBlock&, DibBlock&, AdjustPlanes&)>;

struct AdjustOutcome {
    std::vector<std::uint8_t> picture;
    AdjustSettings settings;
};

// What the program's own engine leaves after the steps, without a dialog: a wiring check.
inline AdjustOutcome AdjustWithoutDialog(const DibBlock& original, const EngineSteps& steps) {
    AdjustEngine engine;
    DibBlock before{std::vector<std::uint8_t>(BEFORE_PREVIEW_BLOCK)};
    DibBlock output{std::vector<std::uint8_t>(std::max(original.size(), PREVIEW_BYTES))};
    AdjustPlanes planes = AdjustPlanes::ForPicture(DibWidth(original), DibHeight(original));
    for (auto* plane : {&planes.Y, &planes.Cb, &planes.Cr}) {
        plane->resize(std::max(plane->size(), PREVIEW_PIXELS));
    }
    EXPECT_TRUE(MakePreviewPair(original, before, output));
    EXPECT_TRUE(engine.AnalysePreview(before, planes));
    steps(engine, before, output, planes);
    const AdjustSettings settings = engine.settings;
    EXPECT_TRUE(engine.ApplyToPicture(original, output, planes));
    output.storage().resize(original.size());
    return {output.storage(), settings};
}

}  // namespace fotolyx::testing
