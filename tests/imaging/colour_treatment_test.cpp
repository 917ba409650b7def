// Whole pictures are checked against tests/reference; here: a few values and the refusals.
#include "imaging/colour_treatment.h"

#include <gtest/gtest.h>

#include "ports/memory.h"
#include "support/fakes.h"
#include "support/rgb_pictures.h"

namespace fotolyx {
namespace {

using testing::Bgr;
using testing::Grey;
using testing::MakeRgbPicture;
using testing::PixelAt;

TEST(ColourTreatment, RaisesLuminanceAndColourAndClampsToBytes) {
    const struct {
        Bgr in;
        Bgr out;
    } cases[] = {
        {Grey(100), Grey(130)},     {Grey(0), Grey(0)},          {Grey(250), Grey(255)},
        {Grey(10), Grey(13)},       {{255, 0, 0}, {255, 0, 11}},  // pure blue: blue and green clamp
        {{0, 0, 255}, {1, 8, 255}},                               // pure red
    };
    Memory memory;
    for (const auto& c : cases) {
        DibBlock picture = MakeRgbPicture(3, 2, [&](int, int) { return c.in; });
        ASSERT_EQ(ApplyColourTreatment(picture, 0x31, memory), ColourTreatmentResult::Treated);
        EXPECT_EQ(PixelAt(picture, 1, 1), c.out) << +c.in.blue << " " << +c.in.red;
    }
}

TEST(ColourTreatment, LeavesThePixelsWhenItCannotWork) {
    DibBlock picture = MakeRgbPicture(8, 8, [](int column, int) { return Grey(column * 20); });
    const auto original = picture.storage();
    testing::FailingMemory noMemory;
    noMemory.failingCalls = {0};
    EXPECT_EQ(ApplyColourTreatment(picture, 0x51, noMemory),
              ColourTreatmentResult::NotEnoughMemory);
    EXPECT_EQ(picture.storage(), original);

    Memory memory;
    DibBlock truncated(std::vector<std::uint8_t>(original.begin(), original.end() - 1));
    EXPECT_EQ(ApplyColourTreatment(truncated, 0x51, memory), ColourTreatmentResult::NotAPicture);
    auto eightBit = CreateDib(8, 8, 8);
    ASSERT_TRUE(eightBit.has_value());
    EXPECT_EQ(ApplyColourTreatment(*eightBit, 0x31, memory), ColourTreatmentResult::NotAPicture);
}

}  // namespace
}  // namespace fotolyx
