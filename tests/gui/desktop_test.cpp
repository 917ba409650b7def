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
    for (const char* helpIn : {"work", "bin", "share/fotolyx", static_cast<const char*>(nullptr)}) {
        SCOPED_TRACE(helpIn ? helpIn : "nowhere");
        TempDir prefix;
        fs::create_directories(prefix / "work");
        fs::create_directories(prefix / "bin");
        std::optional<fs::path> help;
        if (helpIn != nullptr) {
            help = prefix / helpIn / gui::HELP_FILE_NAME;
            fs::create_directories(help->parent_path());
            std::ofstream(*help) << "<html></html>";
        }
        EXPECT_EQ(gui::FindHelpFile(prefix / "work", prefix / "bin"), help);
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
