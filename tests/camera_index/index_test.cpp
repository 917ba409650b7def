#include <gtest/gtest.h>

#include "camera_index/fixtures.h"

namespace fotolyx {
namespace {

using testing::Handlers;

TEST(IndexEdges, ListTextsAndFileNamesFollowTheirFormats) {
    const EntryDate highest{255, 255, 255, 255, 255};
    const std::tuple<unsigned, bool, EntryDate, const char*, const char*> cases[] = {
        {0, false, {2, 5, 17, 14, 5}, "  1N: 02/5/17 14:05", "1N02-5-17(14-5)"},
        {122, true, {99, 12, 31, 0, 0}, "123F: 99/12/31 0:00", "123F99-12-31(0-0)"},
        {799, true, highest, "800F: 255/255/255 255:255", "800F255-255-255(255-255)"},
    };
    for (const auto& [position, fine, date, text, name] : cases) {
        EXPECT_EQ(FormatListText(position, fine, date), text);
        EXPECT_EQ(FormatFileName(position, fine, date), name);
    }
}

TEST(IndexEdges, EntriesAddScrollRowsAtTheThirteenthAndSeventeenth) {
    Handlers run;
    int received = 0;
    for (const auto& [count, lastRow] : {std::pair{12, 0}, {13, 1}, {16, 1}, {17, 2}}) {
        for (; received < count; ++received) {
            run.Entry({}, 80, 60, 30);
        }
        EXPECT_EQ(run.index().selection.LastRow, lastRow) << count;
        EXPECT_EQ(run.index().selection.TopRow, lastRow) << count;
    }
}

// Data packets but the last are ACKed; a bad thumbnail is reported and its entry not answered.
TEST(IndexEdges, ThumbnailsTheSlotCannotTakeGetThePlaceholderOrAreReported) {
    using Bytes = std::vector<std::uint8_t>;
    const std::tuple<Bytes, std::uint16_t, std::uint16_t, const char*> cases[] = {
        {Bytes(111, 0), 80, 60, nullptr},
        {Bytes(60'000, 0x55), 80, 60, nullptr},                      // larger than the buffer
        {camsim::MakeSceneJpeg(200, 200, 1, 5), 200, 200, nullptr},  // pixels larger
        {Bytes(112, 0), 80, 60, TEXT_FILE_TYPE_WRONG},
        {camsim::MakeSceneJpeg(80, 60, 1, 75), 80, 64, TEXT_FILE_SIZE_WRONG},
    };
    for (const auto& [jpeg, width, height, message] : cases) {
        Handlers run;
        run.Entry(jpeg, width, height, 2);
        const auto written = run.TakeWritten();
        EXPECT_EQ(std::count(written.begin(), written.end(), ACK), jpeg.size() / 112 + 1);
        EXPECT_EQ(written.back() == INDEX_NEXT, message == nullptr) << jpeg.size();
        EXPECT_EQ(run.index().index.receivedCount, message == nullptr ? 1 : 0) << jpeg.size();
        if (message == nullptr) {
            const auto slot = run.preview().Thumbnail(0);
            EXPECT_EQ(std::tuple(ReadLe32(slot.data() + 4), ReadLe32(slot.data() + 8), slot[40],
                                 slot[40 + 128 * 56 * 3 - 1]),
                      std::tuple(128u, 56u, 0xE0, 0xE0));
            EXPECT_TRUE(run.shell.messages.empty()) << jpeg.size();
        } else {
            ASSERT_EQ(run.shell.messages.size(), 1u);
            EXPECT_EQ(run.shell.messages[0].text, message);
        }
    }
}

}  // namespace
}  // namespace fotolyx
