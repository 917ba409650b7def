#include <gtest/gtest.h>

#include <QLabel>
#include <QPrintDialog>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "gui/gui_session.h"
#include "gui/print_job.h"
#include "support/picture_files.h"
#include "support/processes.h"

namespace fotolyx::testing {
namespace {

using gui::CancelPrintDialog;

constexpr char PDFINFO[] = "/usr/bin/pdfinfo";

// The shown Cancel Print Job dialog; or any left alive, once the deleted ones are gone.
CancelPrintDialog* CancelDialog(bool shownOnly = true) {
    if (!shownOnly) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* dialog = dynamic_cast<CancelPrintDialog*>(widget);
        if (dialog && (dialog->isVisible() || !shownOnly)) {
            return dialog;
        }
    }
    return nullptr;
}

std::string ReadFile(const std::filesystem::path& path) {
    const std::vector<std::uint8_t> bytes = ReadBytes(path);
    return {bytes.begin(), bytes.end()};
}

// A spooler that notes its call at once and queues the file as job.pdf a second later.
std::filesystem::path MakeSpooler(const std::filesystem::path& queue) {
    const auto program = queue / "spool";
    std::ofstream(program) << "#!/bin/sh\necho \"$@\" > " << Quote(queue / "call")
                           << "\nfor last; do :; done\nsleep 1\ncp \"$last\" "
                           << Quote(queue / "job.pdf") << "\n";
    std::filesystem::permissions(program, std::filesystem::perms::owner_all);
    return program;
}

// The Cancel Print Job dialog disables the window while the page is produced.
TEST(PdfPrintTest, ACancelledJobEndsAtOnceAndReachesNeitherThePrintSystemNorTheFile) {
    if (!std::filesystem::exists(PDFINFO)) {
        ASSERT_FALSE(PeersRequired()) << "pdfinfo is missing";
        GTEST_SKIP() << "pdfinfo is missing";
    }
    QWidget frame;
    auto* owner = new QWidget(&frame);
    frame.show();
    using Act = std::function<void(CancelPrintDialog&)>;
    const Act button = [](CancelPrintDialog& dialog) {
        QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("button2")),
                          Qt::LeftButton);
    };
    const Act escape = [](CancelPrintDialog& dialog) { QTest::keyClick(&dialog, Qt::Key_Escape); };
    const Act closeBox = [](CancelPrintDialog& dialog) { dialog.close(); };
    const struct {
        const char* name;
        Act act;
        bool whileSpooling;  // the cancel waits until the spooler runs
        bool toFile;         // to the existing PDF file instead of the spooler
        bool spoolerCalled;
        bool printed;
    } cases[] = {
        {"not cancelled", nullptr, false, false, true, true},
        {"Cancel while the page is produced", button, false, false, false, false},
        {"Cancel while the spooler runs", button, true, false, true, false},
        {"Esc, to an existing file", escape, false, true, false, false},
        {"the close box cancels nothing", closeBox, false, true, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir queue;
        const auto output = queue / "earlier.pdf";
        std::ofstream(output) << "a file of the user's";
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(output.string()));
        printer.setResolution(144);
        const gui::PrintSpooler spooler{QString::fromStdString(MakeSpooler(queue.path()).string())};
        bool acted = false;
        QTimer driver;
        QObject::connect(&driver, &QTimer::timeout, [&] {
            CancelPrintDialog* dialog = CancelDialog();
            if (acted || dialog == nullptr ||
                (c.whileSpooling && !std::filesystem::exists(queue / "call"))) {
                return;
            }
            acted = true;
            EXPECT_FALSE(owner->isEnabled());
            QStringList texts{dialog->windowTitle()};
            for (const QLabel* label : dialog->findChildren<QLabel*>()) {
                texts << label->text();
            }
            EXPECT_EQ(texts, (QStringList{"Cancel Print Job", "Cancel current print job?"}));
            EXPECT_FALSE(dialog->windowFlags() & Qt::WindowCloseButtonHint);
            if (c.act) {
                c.act(*dialog);
                EXPECT_EQ(owner->isEnabled(), !c.printed);
                EXPECT_EQ(CancelDialog() == nullptr, !c.printed);
            }
        });
        driver.start(0);
        const DibBlock picture = MakePicture(640, 480);
        const QString title = QStringLiteral("Capture 1");
        EXPECT_EQ(c.toFile ? gui::PrintPictureTo(printer, owner, title, picture)
                           : gui::PrintPictureToSpooler(printer, spooler, owner, title, picture),
                  0);
        driver.stop();
        EXPECT_TRUE(acted);
        EXPECT_TRUE(owner->isEnabled());
        EXPECT_EQ(CancelDialog(false), nullptr);
        QTest::qWait(c.printed ? 0 : 1200);  // a spooler left running would have queued by now
        ASSERT_EQ(std::filesystem::exists(queue / "call"), c.spoolerCalled);
        if (c.spoolerCalled) {
            EXPECT_EQ(ReadFile(queue / "call").rfind("-t Capture 1 -- ", 0), 0u);
        }
        const auto printed = c.toFile ? output : queue / "job.pdf";
        EXPECT_EQ(c.toFile ? ReadFile(output) != "a file of the user's"
                           : std::filesystem::exists(printed),
                  c.printed);
        if (c.printed) {
            const std::string info = RunCommand(std::string(PDFINFO) + " " + Quote(printed)).output;
            const auto pages = info.find("Pages:");
            EXPECT_EQ(pages == std::string::npos ? -1 : std::stoi(info.substr(pages + 6)), 1);
        }
        if (!c.toFile) {
            EXPECT_EQ(ReadFile(output), "a file of the user's");
        }
    }
}

TEST(PrintDialogTest, CancellingThePrintDialogPrintsNothingAndDisablesNothing) {
    QWidget frame;
    auto* owner = new QWidget(&frame);
    frame.show();
    OnShown<QPrintDialog> driver([&](QPrintDialog& dialog) {
        EXPECT_TRUE(owner->isEnabled());
        dialog.reject();
    });
    EXPECT_EQ(gui::PrintPicture(owner, QStringLiteral("Capture 1"), MakePicture(640, 480)), 1);
    EXPECT_TRUE(driver.Ran());
    EXPECT_TRUE(owner->isEnabled());
    EXPECT_EQ(CancelDialog(false), nullptr);
}

}  // namespace
}  // namespace fotolyx::testing
