#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "gui/dialogs.h"
#include "gui/gui_session.h"
#include "gui/help_window.h"
#include "gui/print_job.h"
#include "support/picture_files.h"
#include "support/processes.h"

namespace fotolyx::testing {
namespace {

template <typename T = QLabel>
QStringList Texts(const QDialog* dialog) {
    QStringList texts;
    for (const T* widget : dialog->findChildren<T*>()) {
        texts << widget->text();
    }
    return texts;
}

gui::LinkDialogWindow* Shown(GuiSession& session, LinkDialog dialog) {
    gui::LinkDialogWindow* window = session.gui().shell().OpenLinkDialog(dialog);
    return window && window->isVisible() ? window : nullptr;
}

void Click(GuiSession& session, LinkDialog dialog, int button) {
    QTest::mouseClick(
        Shown(session, dialog)->findChild<QPushButton*>(QStringLiteral("button%1").arg(button)),
        Qt::LeftButton);
    QTest::qWait(0);
}

TEST(LinkDialogsTest, TheConnectionDialogsShowTheirTextsHelpAndButtonsThatReachTheProgram) {
    GuiSession session(false);
    std::filesystem::copy_file(FOTOLYX_SOURCE_DIR "/src/gui/Fotlx.hlp",
                               session.folder() / "Fotlx.hlp");
    ASSERT_TRUE(session.WaitFor([&] { return Shown(session, LinkDialog::ComReconnect); }));
    gui::LinkDialogWindow* reconnect = Shown(session, LinkDialog::ComReconnect);
    EXPECT_EQ(reconnect->windowTitle(), "CONNECT Error");
    EXPECT_EQ(Texts(reconnect), (QStringList{"Please check PC/VISTACAM Connection."}));
    EXPECT_EQ(Texts<QPushButton>(reconnect), (QStringList{"Retry", "Cancel", "Help"}));
    EXPECT_TRUE(reconnect->isModal());

    // Help comes up in front at the dialog's topic and takes a click while the frame is blocked.
    Click(session, LinkDialog::ComReconnect, 3);
    gui::HelpWindow* help = session.frame().Help();
    ASSERT_NE(help, nullptr);
    QScrollBar* bar = help->verticalScrollBar();
    EXPECT_GT(bar->value(), 0);
    EXPECT_TRUE(session.WaitFor([&] { return QApplication::activeWindow() == help; }, 2000));
    bar->setValue(0);
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() / 2, bar->height() - 20));
    EXPECT_GT(bar->value(), 0);
    EXPECT_EQ(QApplication::activeModalWidget(), reconnect);

    QTest::keyClick(reconnect, Qt::Key_Escape);
    gui::LinkDialogWindow* cancelOk = Shown(session, LinkDialog::ComCancelOk);
    ASSERT_NE(cancelOk, nullptr);
    EXPECT_EQ(cancelOk->windowTitle(), "WARNING");
    EXPECT_EQ(Texts(cancelOk),
              (QStringList{"CAUTION: If you select OK, the following must be performed to "
                           "connect the Vistacam:",
                           "Turn the Vistacam POWER OFF, and then ON, Execute the Fotolyx "
                           "software again."}));
    Click(session, LinkDialog::ComCancelOk, 1);
    EXPECT_FALSE(Shown(session, LinkDialog::ComCancelOk));
    EXPECT_FALSE(Shown(session, LinkDialog::ComReconnect));
    EXPECT_EQ(session.program().link.CancelConfirmed, 1u);
}

TEST(PleaseWaitTest, TheWaitDialogStaysUntilTheUserOrTheProgramEndsIt) {
    GuiSession session(false);
    gui::QtShell& shell = session.gui().shell();
    std::vector<PleaseWait> closedByUser;
    shell.pleaseWaitClosed = [&](PleaseWait kind) { closedByUser.push_back(kind); };
    shell.ShowPleaseWait(PleaseWait::PeraseProc);
    gui::PleaseWaitDialog* dialog = shell.OpenPleaseWait();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), "DATA ERASE");
    EXPECT_TRUE(dialog->isModal());
    EXPECT_EQ(dialog->ControlText(), "Please wait");
    shell.EndPleaseWait(PleaseWait::DataTrans);  // the end of another kind leaves it
    QTest::keyClick(dialog, Qt::Key_Escape);     // ends it and tells the program
    EXPECT_EQ(shell.OpenPleaseWait(), nullptr);
    EXPECT_EQ(closedByUser, (std::vector<PleaseWait>{PleaseWait::PeraseProc}));
}

void ShowABoxNobodyAnswers() {
    ModalWatchdog watchdog(300);
    ExpectDialog(QStringLiteral("an answer that never comes"));
    QMessageBox box(QMessageBox::Information, QStringLiteral("Lost"),
                    QStringLiteral("Nobody answers this"), QMessageBox::Ok);
    EXPECT_EQ(box.exec(), QMessageBox::Rejected);
}

TEST(ModalWatchdogTest, ADialogNobodyEndsFailsTheTestAndIsRejected) {
    EXPECT_NONFATAL_FAILURE(ShowABoxNobodyAnswers(),
                            "\"Nobody answers this\" that nobody ended; the test was waiting for "
                            "an answer that never comes");
}

using gui::CancelPrintDialog;

std::string ReadFile(const std::filesystem::path& path) {
    const std::vector<std::uint8_t> bytes = ReadBytes(path);
    return {bytes.begin(), bytes.end()};
}

TEST(PdfPrintTest, ACancelledJobEndsAtOnceAndReachesNeitherThePrintSystemNorTheFile) {
    QWidget frame;
    auto* owner = new QWidget(&frame);
    frame.show();
    using Act = std::function<void(CancelPrintDialog&)>;
    const Act button = [](CancelPrintDialog& dialog) {
        QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("button2")),
                          Qt::LeftButton);
    };
    const Act escape = [](CancelPrintDialog& dialog) { QTest::keyClick(&dialog, Qt::Key_Escape); };
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
        // A spooler that notes its call at once and queues the file as job.pdf a second later.
        std::ofstream(queue / "spool")
            << "#!/bin/sh\necho \"$@\" > " << Quote(queue / "call")
            << "\nfor last; do :; done\nsleep 1\ncp \"$last\" " << Quote(queue / "job.pdf") << "\n";
        std::filesystem::permissions(queue / "spool", std::filesystem::perms::owner_all);
        const gui::PrintSpooler spooler{QString::fromStdString((queue / "spool").string())};
        OnShown<CancelPrintDialog> user(
            [&](CancelPrintDialog& dialog) {
                ExpectDialog(QStringLiteral("the print job to end"));
                EXPECT_FALSE(owner->isEnabled());
                EXPECT_EQ(dialog.windowTitle(), "Cancel Print Job");
                EXPECT_EQ(Texts(&dialog), QStringList{"Cancel current print job?"});
                const auto act = [&] {
                    c.act(dialog);
                    EXPECT_EQ(owner->isEnabled(), !c.printed);
                    EXPECT_EQ(dialog.isVisible(), c.printed);
                };
                if (c.whileSpooling) {  // once the spooler runs
                    auto* poll = new QTimer(&dialog);
                    QObject::connect(poll, &QTimer::timeout, [&, act, poll] {
                        if (std::filesystem::exists(queue / "call")) {
                            poll->stop();
                            act();
                        }
                    });
                    poll->start(0);
                } else if (c.act) {
                    act();
                }
            },
            0);
        const DibBlock picture = MakePicture(640, 480);
        const QString title = QStringLiteral("Capture 1");
        EXPECT_EQ(c.toFile ? gui::PrintPictureTo(printer, owner, title, picture)
                           : gui::PrintPictureToSpooler(printer, spooler, owner, title, picture),
                  0);
        EXPECT_TRUE(user.Ran());
        EXPECT_TRUE(owner->isEnabled());
        QTest::qWait(c.printed ? 0 : 1200);  // a spooler left running would have queued by now
        ASSERT_EQ(std::filesystem::exists(queue / "call"), c.spoolerCalled);
        if (c.spoolerCalled) {
            EXPECT_EQ(ReadFile(queue / "call").rfind("-t Capture 1 -- ", 0), 0u);
        }
        const auto printed = c.toFile ? output : queue / "job.pdf";
        EXPECT_EQ(c.toFile ? ReadFile(output) != "a file of the user's"
                           : std::filesystem::exists(printed),
                  c.printed);
        const CommandResult info = RunCommand("/usr/bin/pdfinfo " + Quote(printed));
        if (c.printed && (info.status == 0 || PeersRequired())) {
            EXPECT_NE(info.output.find("Pages:"), std::string::npos);
            EXPECT_EQ(std::atoi(info.output.c_str() + info.output.find("Pages:") + 6), 1);
        }
        if (!c.toFile) {
            EXPECT_EQ(ReadFile(output), "a file of the user's");
        }
    }
}

}  // namespace
}  // namespace fotolyx::testing
