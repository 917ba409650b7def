#include <gtest/gtest.h>

#include <vector>

#include "camera_index/picture_index.h"

namespace fotolyx {
namespace {

PictureEntry Entry(TakenAt takenAt, std::uint8_t attribute) {
    PictureEntry entry;
    entry.attribute = attribute;
    entry.takenAt = takenAt;
    return entry;
}

TEST(PictureName, PatternsNameFilesFromTheDatePositionAndMode) {
    const PictureEntry fine = Entry({2002, 5, 17, 14, 5}, 0x01);
    const PictureEntry normal = Entry({1999, 12, 31, 23, 59}, 0x00);
    struct Case {
        const char* pattern;
        const PictureEntry& entry;
        unsigned position;
        const char* expected;  // nullptr: refused
    };
    const Case cases[] = {
        {"%Y%m%d-%H%M-%n%q", fine, 0, "20020517-1405-1F"},
        {"%y-%m-%d_%N", normal, 41, "99-12-31_042"},
        {"%N", normal, 999, "1000"},
        {"100%%-%n", fine, 6, "100%-7"},
        {"plain", fine, 0, "plain"},
        {"%Q", fine, 0, nullptr},
        {"trailing%", fine, 0, nullptr},
        {"sub/%n", fine, 0, nullptr},
        {"", fine, 0, nullptr},
        {"..", fine, 0, nullptr},
        // A date field of a picture without a valid date; %n alone still works.
        {"%Y", Entry({2002, 13, 1, 0, 0}, 0), 0, nullptr},
        {"%n", Entry({2002, 13, 1, 0, 0}, 0), 2, "3"},
    };
    for (const Case& c : cases) {
        std::string error;
        const auto name = FormatPictureName(c.pattern, c.position, c.entry, error);
        if (c.expected == nullptr) {
            EXPECT_FALSE(name.has_value()) << c.pattern << " gave " << name.value_or("");
            EXPECT_FALSE(error.empty()) << c.pattern;
        } else {
            EXPECT_EQ(name.value_or("(refused: " + error + ")"), c.expected) << c.pattern;
        }
    }
}

TEST(PictureName, OnlyCalendarDatesAreValid) {
    struct Case {
        TakenAt date;
        bool valid;
    };
    const Case cases[] = {
        {{2002, 5, 17, 14, 5}, true},  {{2000, 2, 29, 0, 0}, true},
        {{1900, 2, 29, 0, 0}, false},  {{2004, 2, 29, 23, 59}, true},
        {{2003, 2, 29, 12, 0}, false}, {{2002, 4, 31, 12, 0}, false},
        {{2002, 0, 1, 0, 0}, false},   {{2002, 13, 1, 0, 0}, false},
        {{2002, 1, 0, 0, 0}, false},   {{2002, 1, 1, 24, 0}, false},
        {{2002, 1, 1, 0, 60}, false},  {{2155, 12, 31, 23, 59}, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.date.Valid(), c.valid)
            << c.date.year << '-' << c.date.month << '-' << c.date.day << ' ' << c.date.hour << ':'
            << c.date.minute;
    }
}

}  // namespace
}  // namespace fotolyx
