#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QLabel>
#include <QRegularExpression>
#include <fstream>

#include "gui/dialogs.h"
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

TEST(DesktopTest, TheProgramNamesItsDesktopEntryItsVersionAndDrawsItsIconAtEverySize) {
    gui::SetUpDesktopIntegration();
    EXPECT_EQ(QGuiApplication::desktopFileName(), "fotolyx");
    for (const int size : gui::FRAME_ICON_SIZES) {
        SCOPED_TRACE(size);
        const QImage image = QGuiApplication::windowIcon().pixmap(QSize(size, size)).toImage();
        EXPECT_EQ(image.size(), QSize(size, size));
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);  // transparent corners, an opaque body
        EXPECT_EQ(qAlpha(image.pixel(size / 3, size / 2)), 255);
    }
    gui::AboutDialog about(nullptr);
    const auto* version = about.findChild<QLabel*>(QStringLiteral("aboutVersion"));
    ASSERT_NE(version, nullptr);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Fotolyx \\d+\\.\\d+\\.\\d+$"))
                    .match(version->text())
                    .hasMatch())
        << version->text().toStdString();
}

}  // namespace
}  // namespace fotolyx::testing
