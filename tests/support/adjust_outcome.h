#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "adjust/adjust_algorithms.h"
#include "imaging/dib_block.h"

namespace fotolyx::testing {

// Wiring checks only: the engine is the program's own (its arithmetic is checked in
// tests/reference and tests/adjust). Steps on the engine as a dialog would take them.
using EngineSteps = std::function<void(AdjustEngine&, DibBlock&, DibBlock&, AdjustPlanes&)>;

// The picture and settings the engine alone leaves after the given steps.
struct AdjustOutcome {
    std::vector<std::uint8_t> picture;
    AdjustSettings settings;
};

// What the whole picture becomes under the steps, computed without a dialog.
AdjustOutcome AdjustWithoutDialog(const DibBlock& original, const EngineSteps& steps);

}  // namespace fotolyx::testing
