#include "adjust/adjust_dialog.h"

#include <algorithm>
#include <cstring>

#include "imaging/rgb_picture.h"
#include "ports/memory.h"
#include "ports/shell.h"

namespace fotolyx {

namespace {

struct SettingRange {
    std::int32_t minimum;
    std::int32_t maximum;
};

constexpr SettingRange SETTING_RANGES[ADJUST_SETTING_COUNT] = {
    {-100, 100}, {-100, 100}, {-100, 100}, {0, 100}};

struct ScrollStep {
    int code;
    std::int32_t step;
};

constexpr ScrollStep SCROLL_STEPS[] = {
    {SB_LINELEFT, -1}, {SB_LINERIGHT, 1}, {SB_PAGELEFT, -20}, {SB_PAGERIGHT, 20}};

// The setting a scroll message leaves, or the old one for codes that move nothing.
std::int32_t ScrolledValue(std::int32_t value, int code, int thumbPosition,
                           const SettingRange& range) {
    for (const auto& step : SCROLL_STEPS) {
        if (step.code == code) {
            return std::clamp(value + step.step, range.minimum, range.maximum);
        }
    }
    if (code == SB_THUMBPOSITION) {
        // The position arrives as a 16-bit word: 65,499 stands for -37.
        const auto position = static_cast<std::int16_t>(static_cast<std::uint16_t>(thumbPosition));
        return std::clamp<std::int32_t>(position, range.minimum, range.maximum);
    }
    return value;
}

std::optional<DibBlock> AllocateBlock(Memory& memory, std::size_t size) {
    auto bytes = memory.AllocateZeroed(size);
    if (!bytes) {
        return std::nullopt;
    }
    return DibBlock(std::move(*bytes));
}

}  // namespace

AdjustDialog::AdjustDialog(Memory& memory) : memory_(memory) {}

void AdjustDialog::ResetSettingsAndBars() {
    engine.settings = {};
    for (int i = 0; i < ADJUST_SETTING_COUNT; ++i) {
        auto& bar = scrollBars[static_cast<std::size_t>(i)];
        bar.minimum = SETTING_RANGES[i].minimum;
        bar.maximum = SETTING_RANGES[i].maximum;
        bar.position = 0;
        valueFields[static_cast<std::size_t>(i)] = 0;
    }
}

void AdjustDialog::ShowSettings(bool movePositions) {
    for (int i = 0; i < ADJUST_SETTING_COUNT; ++i) {
        const std::int32_t value = SettingAt(engine.settings, i);
        valueFields[static_cast<std::size_t>(i)] = value;
        if (movePositions) {
            scrollBars[static_cast<std::size_t>(i)].position = value;
        }
    }
}

void AdjustDialog::Open(DibBlock* picture) {
    Release();
    engine = AdjustEngine();
    pending = false;
    fresh = true;
    manualChecked = true;
    revertEnabled = false;
    ResetSettingsAndBars();
    for (auto& bar : scrollBars) {
        bar.enabled = true;
    }
    invalidated = true;

    const auto geometry = picture ? RgbPictureGeometry(*picture) : std::nullopt;
    if (!geometry) {
        return;
    }
    // The output block takes the After preview as well as the whole picture with its real
    // row padding; the planes take the preview as well as the picture.
    const std::size_t outputSize =
        std::max({3 * geometry->PixelCount() + 100, geometry->UsedBytes(), PREVIEW_BYTES});
    const std::size_t planeSize = std::max(geometry->PixelCount(), PREVIEW_PIXELS);
    const std::size_t tailSize = geometry->PadBytes() * static_cast<std::size_t>(geometry->height);

    auto before = AllocateBlock(memory_, BEFORE_PREVIEW_BLOCK);
    auto output = before ? AllocateBlock(memory_, outputSize) : std::nullopt;
    auto y = output ? memory_.AllocateZeroed(planeSize) : std::nullopt;
    auto cb = y ? memory_.AllocateZeroed(planeSize) : std::nullopt;
    auto cr = cb ? memory_.AllocateZeroed(planeSize) : std::nullopt;
    auto tail = cr ? memory_.AllocateZeroed(tailSize) : std::nullopt;
    if (!tail) {
        return;
    }
    blocks_.emplace(
        Blocks{std::move(*before), std::move(*output),
               AdjustPlanes{std::move(*y), std::move(*cb), std::move(*cr), std::move(*tail)}});
    picture_ = picture;
    MakePreviewPair(*picture_, blocks_->before, blocks_->output);
    engine.AnalysePreview(blocks_->before, blocks_->planes);
}

void AdjustDialog::HScroll(int controlId, int code, int thumbPosition) {
    const int index = controlId - IDC_ADJUST_FIRST_SCROLL;
    if (index < 0 || index >= ADJUST_SETTING_COUNT) {
        return;
    }
    std::int32_t& setting = SettingAt(engine.settings, index);
    setting = ScrolledValue(setting, code, thumbPosition, SETTING_RANGES[index]);
    scrollBars[static_cast<std::size_t>(index)].position = setting;
    valueFields[static_cast<std::size_t>(index)] = setting;
    if (blocks_) {
        engine.RenderManual(blocks_->before, blocks_->output, blocks_->planes);
    }
    fresh = true;
    pending = true;
    revertEnabled = true;
    invalidated = true;
}

AdjustDialogEnd AdjustDialog::Command(int id) {
    switch (id) {
        case IDC_ADJUST_MANUAL:
            manualChecked = true;
            for (auto& bar : scrollBars) {
                bar.enabled = true;
            }
            revertEnabled = true;
            ShowSettings(true);
            invalidated = true;
            return AdjustDialogEnd::Open;
        case IDC_ADJUST_AUTOMATIC:
            pending = true;
            manualChecked = false;
            for (auto& bar : scrollBars) {
                bar.enabled = false;
            }
            revertEnabled = false;
            if (!fresh) {
                return AdjustDialogEnd::Open;
            }
            fresh = false;
            if (blocks_) {
                engine.RenderAutomatic(blocks_->before, blocks_->output, blocks_->planes);
            }
            ShowSettings(false);
            invalidated = true;
            return AdjustDialogEnd::Open;
        case IDC_ADJUST_REVERT:
            ResetSettingsAndBars();
            if (blocks_) {
                engine.RenderManual(blocks_->before, blocks_->output, blocks_->planes);
            }
            fresh = true;
            pending = false;
            invalidated = true;
            return AdjustDialogEnd::Open;
        case IDOK: {
            AdjustDialogEnd end = AdjustDialogEnd::Closed;
            if (pending && blocks_ && picture_ &&
                engine.ApplyToPicture(*picture_, blocks_->output, blocks_->planes)) {
                const auto geometry = RgbPictureGeometry(*picture_);
                std::memcpy(picture_->data(), blocks_->output.data(), geometry->UsedBytes());
                end = AdjustDialogEnd::Applied;
            }
            Release();
            return end;
        }
        case IDCANCEL:
            Release();
            return AdjustDialogEnd::Closed;
        default:
            return AdjustDialogEnd::Open;
    }
}

const DibBlock* AdjustDialog::BeforePreview() const {
    return blocks_ ? &blocks_->before : nullptr;
}

const DibBlock* AdjustDialog::AfterPreview() const {
    return blocks_ ? &blocks_->output : nullptr;
}

void AdjustDialog::Release() {
    blocks_.reset();
    picture_ = nullptr;
}

}  // namespace fotolyx
