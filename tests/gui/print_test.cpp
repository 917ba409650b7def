#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
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

constexpr char PDFTOPPM[] = "/usr/bin/pdftoppm";
constexpr char PDFINFO[] = "/usr/bin/pdfinfo";
constexpr int DPI = 144;

// The top-left quarter blue, the rest red, so that a flipped or mirrored print shows.
DibBlock MarkedPicture(std::int32_t width, std::int32_t height) {
    DibBlock picture = CreateDib(width, height, 24).value();
    const std::size_t stride = DibStride(24, static_cast<std::uint32_t>(width));
    for (std::int32_t row = 0; row < height; ++row) {  // row 0 is the bottom one
        for (std::int32_t x = 0; x < width; ++x) {
            std::uint8_t* pixel = DibBits(picture) + stride * static_cast<std::size_t>(row) + 3 * x;
            const bool blue = row >= height / 2 && x < width / 2;
            pixel[0] = blue ? 255 : 0;
            pixel[2] = blue ? 0 : 255;
        }
    }
    return picture;
}

// A4 at 144 dpi, margins of 36 points left and right, 48 top and bottom: printable 1046 x 1492
// pixels from (72, 96) upright, 1540 x 998 lying.
void SetUpPdf(QPrinter& printer, const std::filesystem::path& file,
              QPageLayout::Orientation orientation) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(file.string()));
    printer.setResolution(DPI);
    printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), orientation,
                                      QMarginsF(36, 48, 36, 48), QPageLayout::Point));
}

int PageCount(const std::filesystem::path& pdf) {
    const CommandResult info = RunCommand(std::string(PDFINFO) + " " + Quote(pdf));
    const auto at = info.output.find("Pages:");
    return at == std::string::npos ? -1 : std::stoi(info.output.substr(at + 6));
}

QImage Render(const std::filesystem::path& pdf, const std::filesystem::path& prefix) {
    const CommandResult run =
        RunCommand(std::string(PDFTOPPM) + " -r " + std::to_string(DPI) +
                   " -f 1 -l 1 -singlefile -png " + Quote(pdf) + " " + Quote(prefix));
    return run.status != 0 ? QImage() : QImage(QString::fromStdString(prefix.string() + ".png"));
}

// The bounding box of everything printed (not near white).
QRect Ink(const QImage& page) {
    QRect box;
    for (int y = 0; y < page.height(); ++y) {
        for (int x = 0; x < page.width(); ++x) {
            const QColor c = page.pixelColor(x, y);
            if (std::min({c.red(), c.green(), c.blue()}) < 128) {
                box |= QRect(x, y, 1, 1);
            }
        }
    }
    return box;
}

bool Near(int a, int b) {
    return std::abs(a - b) <= 2;
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

class PdfPrintTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!std::filesystem::exists(PDFTOPPM) || !std::filesystem::exists(PDFINFO)) {
            if (PeersRequired()) {
                FAIL() << "pdftoppm and pdfinfo are missing";
            }
            GTEST_SKIP() << "pdftoppm and pdfinfo are missing";
        }
        frame.show();
    }
    QWidget frame;
    QWidget* owner = new QWidget(&frame);
};

TEST_F(PdfPrintTest, ThePictureFillsThePrintableAreaFromItsTopLeftCornerOnOnePage) {
    struct Case {
        std::int32_t width, height;
        QPageLayout::Orientation orientation;
        QRect expected;
    };
    const Case cases[] = {
        // Upright page: both shapes fill the width; lying page: both fill the height.
        {640, 480, QPageLayout::Portrait, {72, 96, 1046, 784}},
        {480, 640, QPageLayout::Portrait, {72, 96, 1046, 1394}},
        {640, 480, QPageLayout::Landscape, {72, 96, 1330, 998}},
        {480, 640, QPageLayout::Landscape, {72, 96, 748, 998}},
    };
    TempDir folder;
    for (const Case& c : cases) {
        const std::string name = std::to_string(c.width) + "x" + std::to_string(c.height) +
                                 (c.orientation == QPageLayout::Portrait ? "-upright" : "-lying");
        SCOPED_TRACE(name);
        const auto pdf = folder / (name + ".pdf");
        QPrinter printer(QPrinter::HighResolution);
        SetUpPdf(printer, pdf, c.orientation);
        EXPECT_EQ(gui::PrintPictureTo(printer, owner, QStringLiteral("Openfile 1"),
                                      MarkedPicture(c.width, c.height)),
                  0);
        ASSERT_EQ(PageCount(pdf), 1);
        const QImage page = Render(pdf, folder / name);
        ASSERT_FALSE(page.isNull());
        const QRect ink = Ink(page);
        EXPECT_TRUE(Near(ink.left(), c.expected.left()) && Near(ink.top(), c.expected.top()) &&
                    Near(ink.width(), c.expected.width()) &&
                    Near(ink.height(), c.expected.height()))
            << "printed at " << ink.x() << "," << ink.y() << " " << ink.width() << "x"
            << ink.height();
        const auto blue = [](QColor p) { return p.blue() > 200 && p.red() < 60; };
        const auto red = [](QColor p) { return p.red() > 200 && p.blue() < 60; };
        EXPECT_TRUE(blue(page.pixelColor(ink.topLeft() + QPoint(8, 8))));
        EXPECT_TRUE(red(page.pixelColor(ink.topRight() + QPoint(-8, 8))));
        EXPECT_TRUE(red(page.pixelColor(ink.bottomLeft() + QPoint(8, -8))));
    }
}

std::string ReadFile(const std::filesystem::path& path) {
    const std::vector<std::uint8_t> bytes = ReadBytes(path);
    return {bytes.begin(), bytes.end()};
}

// A print system's spooler: it notes its call at once, and queues the file (copies it to
// job.pdf in its queue folder) a second later.
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

// The Cancel Print Job dialog disables the window while the page is produced; a cancel ends the
// job at once, and a cancelled job reaches neither the print system nor the output file.
TEST_F(PdfPrintTest, ACancelledJobEndsAtOnceAndReachesNeitherThePrintSystemNorTheFile) {
    enum class Act { None, Button, Escape, CloseBox };
    struct Case {
        const char* name;
        Act act;
        bool whileSpooling;  // the cancel waits until the spooler runs
        bool toFile;         // to the existing PDF file instead of the spooler
        bool spoolerCalled;
        bool printed;
    };
    const Case cases[] = {
        {"not cancelled", Act::None, false, false, true, true},
        {"Cancel while the page is produced", Act::Button, false, false, false, false},
        {"Cancel while the spooler runs", Act::Button, true, false, true, false},
        {"Esc, to an existing file", Act::Escape, false, true, false, false},
        {"the close box cancels nothing", Act::CloseBox, false, true, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir queue;
        const auto output = queue / "earlier.pdf";
        std::ofstream(output) << "a file of the user's";
        QPrinter printer(QPrinter::HighResolution);
        SetUpPdf(printer, output, QPageLayout::Portrait);
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
            switch (c.act) {
                case Act::None:
                    return;
                case Act::Button:
                    QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("button2")),
                                      Qt::LeftButton);
                    break;
                case Act::Escape:
                    QTest::keyClick(dialog, Qt::Key_Escape);
                    break;
                case Act::CloseBox:
                    dialog->close();
                    break;
            }
            const bool cancels = c.act != Act::CloseBox;
            EXPECT_EQ(owner->isEnabled(), cancels);
            EXPECT_EQ(ShownCancelDialog() == nullptr, cancels);
        });
        driver.start(0);
        const DibBlock picture = MarkedPicture(640, 480);
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
    EXPECT_EQ(gui::PrintPicture(owner, QStringLiteral("Capture 1"), MarkedPicture(640, 480)), 1);
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
