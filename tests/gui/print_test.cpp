#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "gui/gui_session.h"
#include "gui/print_job.h"
#include "support/fakes.h"
#include "support/picture_files.h"

namespace fotolyx::testing {
namespace {

using gui::CancelPrintDialog;

constexpr char PDFINFO[] = "/usr/bin/pdfinfo";

void SetUpPdf(QPrinter& printer, const std::filesystem::path& file) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(file.string()));
    printer.setResolution(144);
    printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                      QMarginsF(36, 48, 36, 48), QPageLayout::Point));
}

int PageCount(const std::filesystem::path& pdf) {
    const CommandResult info = RunCommand(std::string(PDFINFO) + " " + Quote(pdf));
    const auto at = info.output.find("Pages:");
    return at == std::string::npos ? -1 : std::stoi(info.output.substr(at + 6));
}

// Calls act on the first visible top-level widget of type T as soon as one shows up, for as long
// as context lives.
template <typename T>
void WhenShown(QObject* context, std::function<void(T*)> act) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* found = dynamic_cast<T*>(widget); found && found->isVisible()) {
            act(found);
            return;
        }
    }
    QTimer::singleShot(0, context, [context, act] { WhenShown<T>(context, act); });
}

CancelPrintDialog* ShownCancelDialog() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* dialog = dynamic_cast<CancelPrintDialog*>(widget);
            dialog && dialog->isVisible()) {
            return dialog;
        }
    }
    return nullptr;
}

int CancelDialogs() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    int count = 0;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        count += dynamic_cast<CancelPrintDialog*>(widget) != nullptr ? 1 : 0;
    }
    return count;
}

std::string ReadFile(const std::filesystem::path& path) {
    const std::vector<std::uint8_t> bytes = ReadBytes(path);
    return {bytes.begin(), bytes.end()};
}

// A spooler that notes its call at once and queues the file as job.pdf a second later.
std::filesystem::path MakeSpooler(const std::filesystem::path& queue) {
    const auto program = queue / "spool";
    std::ofstream(program) << "#!/bin/sh\n"
                           << "echo \"$@\" > " << Quote(queue / "call") << "\n"
                           << "for last; do :; done\n"
                           << "sleep 1\n"
                           << "cp \"$last\" " << Quote(queue / "job.pdf") << "\n";
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
        SetUpPdf(printer, output);
        const gui::PrintSpooler spooler{QString::fromStdString(MakeSpooler(queue.path()).string())};
        bool acted = false;
        QTimer driver;
        QObject::connect(&driver, &QTimer::timeout, [&] {
            CancelPrintDialog* dialog = ShownCancelDialog();
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
            if (!c.act) {
                return;
            }
            c.act(*dialog);
            const bool cancels = !c.printed;
            EXPECT_EQ(owner->isEnabled(), cancels);
            EXPECT_EQ(ShownCancelDialog() == nullptr, cancels);
        });
        driver.start(0);
        const DibBlock picture = MakePicture(640, 480);
        EXPECT_EQ(c.toFile
                      ? gui::PrintPictureTo(printer, owner, QStringLiteral("Capture 1"), picture)
                      : gui::PrintPictureToSpooler(printer, spooler, owner,
                                                   QStringLiteral("Capture 1"), picture),
                  0);
        driver.stop();
        EXPECT_TRUE(acted);
        EXPECT_TRUE(owner->isEnabled());
        EXPECT_EQ(CancelDialogs(), 0);
        QTest::qWait(c.printed ? 0 : 1200);  // a spooler left running would have queued by now
        EXPECT_EQ(std::filesystem::exists(queue / "call"), c.spoolerCalled);
        if (c.spoolerCalled) {
            EXPECT_EQ(ReadFile(queue / "call").rfind("-t Capture 1 -- ", 0), 0u)
                << ReadFile(queue / "call");
        }
        const auto printed = c.toFile ? output : queue / "job.pdf";
        EXPECT_EQ(c.toFile ? ReadFile(output) != "a file of the user's"
                           : std::filesystem::exists(printed),
                  c.printed);
        if (c.printed) {
            EXPECT_EQ(PageCount(printed), 1);
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
    EXPECT_EQ(CancelDialogs(), 0);
}

TEST(PrintTest, PrintOfACaptureWindowSurvivesTheWindowClosingWhileThePageIsProduced) {
    GuiSession session;
    ASSERT_TRUE(session.WaitFor([&] {
        return session.program().indexTransfer.index.IndexLoaded &&
               session.frame().StatusText() == "Ready";
    }));
    QWidget* preview = session.frame().PreviewFrame()->widget();
    QTest::mouseClick(preview, Qt::LeftButton, {}, QPoint(70, 105));
    QTest::mouseDClick(preview, Qt::LeftButton, {}, QPoint(70, 105));
    ASSERT_TRUE(session.WaitFor([&] {
        return session.program().captureWindows.Ids().size() == 1 &&
               !session.program().pictureDownload.download.CaptureWaiting;
    }));
    const WindowId id = session.program().captureWindows.Ids().front();
    QWidget* view = session.frame().Window(id)->Child();
    const auto pdf = session.folder() / "capture.pdf";
    bool ownerWasDisabled = false;
    QObject context;
    WhenShown<QPrintDialog>(&context, [&](QPrintDialog* dialog) {
        // Without printers the dialog prints to a PDF file named in its file field.
        auto* file = dialog->findChild<QLineEdit*>(QStringLiteral("filename"));
        ASSERT_NE(file, nullptr);
        file->setText(QString::fromStdString(pdf.string()));
        dialog->accept();
        WhenShown<CancelPrintDialog>(&context, [&](CancelPrintDialog*) {
            ownerWasDisabled = !view->isEnabled();  // the window is still open here
            session.frame().Window(id)->close();
        });
    });
    session.frame().Command(CMD_PRINT);
    EXPECT_TRUE(ownerWasDisabled);
    EXPECT_TRUE(session.program().captureWindows.Ids().empty());
    EXPECT_EQ(CancelDialogs(), 0);
    // The page was printed all the same.
    EXPECT_TRUE(std::filesystem::exists(pdf));
}

}  // namespace
}  // namespace fotolyx::testing
