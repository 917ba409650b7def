#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "adjust/adjust_algorithms.h"
#include "imaging/dib_block.h"

namespace fotolyx::testing {

// Wiring checks only: the engine here is the program's own, so a test comparing with it shows
// that a dialog, window or command reaches the engine with the right steps, not that the
// engine is right. The pixel arithmetic itself is checked against an independent recomputation
// from the formulas (tests/reference) and against numbers written in tests/adjust.

// Steps on the adjustment engine with its Before preview and output block, as a dialog would
// take them.
using EngineSteps = std::function<void(AdjustEngine&, DibBlock&, DibBlock&, AdjustPlanes&)>;

// The picture and settings the engine alone leaves after the given steps.
struct AdjustOutcome {
    std::vector<std::uint8_t> picture;
    AdjustSettings settings;
};

// What the whole picture becomes under the steps, computed without a dialog.
AdjustOutcome AdjustWithoutDialog(const DibBlock& original, const EngineSteps& steps);

}  // namespace fotolyx::testing
