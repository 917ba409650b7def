#include <gtest/gtest.h>

#include "camera_index/picture_index.h"

namespace fotolyx {
namespace {

TEST(PictureName, PatternsNameFilesFromTheDatePositionAndMode) {
    PictureEntry fine;
    fine.attribute = 0x01;
    fine.takenAt = {2002, 5, 17, 14, 5};
    PictureEntry normal;
    normal.takenAt = {1999, 12, 31, 23, 59};
    PictureEntry undated;
    undated.takenAt = {2002, 13, 1, 0, 0};
    const std::tuple<const char*, const PictureEntry&, unsigned, const char*> cases[] = {
        {"%Y%m%d-%H%M-%n%q", fine, 0, "20020517-1405-1F"},
        {"%y-%m-%d_%N", normal, 41, "99-12-31_042"},
        {"%N", normal, 999, "1000"},
        {"100%%-%n", fine, 6, "100%-7"},
        {"plain", fine, 0, "plain"},
        {"%n", undated, 2, "3"},  // no date field: no valid date needed
        {"%Q", fine, 0, nullptr},
        {"trailing%", fine, 0, nullptr},
        {"", fine, 0, nullptr},
        {"..", fine, 0, nullptr},
        {"%Y", undated, 0, nullptr},
    };
    for (const auto& [pattern, entry, position, expected] : cases) {
        std::string error;
        const auto name = FormatPictureName(pattern, position, entry, error);
        EXPECT_EQ(name.value_or("(refused)"), expected ? expected : "(refused)") << pattern;
        EXPECT_EQ(error.empty(), expected != nullptr) << pattern;
    }
}

}  // namespace
}  // namespace fotolyx
