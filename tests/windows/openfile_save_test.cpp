#include <gtest/gtest.h>

#include <algorithm>

#include "support/link_session.h"
#include "support/rgb_pictures.h"

namespace fotolyx {
namespace {

// The window's title follows a save onto its frame, as a Capture window's does; a cancelled
// save leaves it.
TEST(OpenfileSaveAs, ASavedPictureTitlesItsWindowWithThePath) {
    testing::LinkSession session;
    Program& program = session.Start();
    const DibBlock picture = testing::MakeRgbPicture(
        640, 480, [](int column, int row) { return testing::Grey(column ^ row); });
    std::copy_n(picture.data(), std::min(picture.size(), program.buffers.WorkImage->size()),
                program.buffers.WorkImage->data());
    OpenfileWindow* window = program.CreateOpenfileWindow("Untitled", true);
    ASSERT_NE(window, nullptr);

    session.shell.scriptedSaveAnswers.push_back(std::nullopt);
    window->Command(CMD_SAVE_AS);
    EXPECT_FALSE(session.shell.windowTitles.contains(window->id()));

    const std::string path = (session.root / "saved.bmp").string();
    session.shell.scriptedSaveAnswers.push_back(
        SaveDialogResult{path, SAVE_FILTER_FULL_COLOUR_BMP});
    window->Command(CMD_SAVE_AS);
    EXPECT_EQ(window->title(), path);
    EXPECT_EQ(session.shell.windowTitles[window->id()], path);
}

// Yes to "Save changes to %s?" on closing saves the picture, for a window from a file and for
// the live photo taken over.
TEST(OpenfileSaveAs, YesToTheSaveQuestionSavesThePicture) {
    for (const char* title : {"changed.bmp", "Live Image Photo"}) {
        testing::LinkSession session;
        Program& program = session.Start();
        const DibBlock picture = testing::MakeRgbPicture(
            640, 480, [](int column, int row) { return testing::Grey(column + row); });
        std::copy_n(picture.data(), std::min(picture.size(), program.buffers.WorkImage->size()),
                    program.buffers.WorkImage->data());
        OpenfileWindow* window = program.CreateOpenfileWindow(title, true);
        ASSERT_NE(window, nullptr);
        const auto path = session.root / "kept.bmp";
        session.shell.scriptedAnswers.push_back(IDYES);
        session.shell.scriptedSaveAnswers.push_back(
            SaveDialogResult{path.string(), SAVE_FILTER_FULL_COLOUR_BMP});
        EXPECT_TRUE(window->Close());
        ASSERT_EQ(session.shell.messages.size(), 1u) << title;
        EXPECT_EQ(session.shell.messages[0].text, std::string("Save changes to ") + title + "?");
        const auto bytes = testing::ReadBytes(path);
        ASSERT_EQ(bytes.size(), 54u + 921'600u) << title;
        EXPECT_TRUE(std::equal(bytes.begin() + 54, bytes.end(), picture.data() + 40)) << title;
    }
}

}  // namespace
}  // namespace fotolyx
