#include <gtest/gtest.h>

#include <QGuiApplication>
#include <fstream>

#include "gui/frame_icon.h"
#include "gui/help_window.h"
#include "support/fakes.h"

namespace fotolyx::testing {
namespace {

namespace fs = std::filesystem;

TEST(DesktopTest, TheHelpFileIsFoundInTheStartFolderBesideTheProgramOrWhereItIsInstalled) {
    struct Row {
        const char* helpIn;  // folder under the prefix, or nullptr for none
        const char* found;
    };
    const Row rows[] = {
        {"work", "work"},
        {"bin", "bin"},
        {"share/fotolyx", "share/fotolyx"},
        {nullptr, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.helpIn ? row.helpIn : "nowhere");
        TempDir prefix;
        fs::create_directories(prefix / "work");
        fs::create_directories(prefix / "bin");
        if (row.helpIn != nullptr) {
            fs::create_directories(prefix / row.helpIn);
            std::ofstream(prefix / row.helpIn / gui::HELP_FILE_NAME) << "<html></html>";
        }
        const auto found = gui::FindHelpFile(prefix / "work", prefix / "bin");
        if (row.found == nullptr) {
            EXPECT_FALSE(found.has_value());
        } else {
            ASSERT_TRUE(found.has_value());
            EXPECT_EQ(*found, prefix / row.found / gui::HELP_FILE_NAME);
        }
    }
}

TEST(DesktopTest, TheProgramNamesItsDesktopEntryAndDrawsItsIconAtEverySize) {
    gui::SetUpDesktopIntegration();
    EXPECT_EQ(QGuiApplication::desktopFileName(), "fotolyx");
    const QIcon icon = QGuiApplication::windowIcon();
    for (const int size : gui::FRAME_ICON_SIZES) {
        SCOPED_TRACE(size);
        const QImage image = icon.pixmap(QSize(size, size)).toImage();
        EXPECT_EQ(image.size(), QSize(size, size));
        // Transparent corners, the opaque body in the middle.
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
        EXPECT_EQ(qAlpha(image.pixel(size / 3, size / 2)), 255);
    }
}

}  // namespace
}  // namespace fotolyx::testing
