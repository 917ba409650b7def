#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <memory>
#include <vector>

#include "gui/gui_session.h"
#include "gui/save_dialog.h"

namespace fotolyx::testing {

// What to do with one save dialog: choose a file type (1-based, 0 keeps the one offered) and
// type a name (relative to the folder the dialog shows, or absolute), or cancel.
struct SaveDialogAnswer {
    QString typedName;
    int filterIndex = 0;
    bool cancel = false;
};

// A save dialog as it came up.
struct SeenSaveDialog {
    QStringList filters;
    QString selectedFilter;
    QString directory;
    QString proposedName;
    bool confirmsOverwrite = false;
    bool stayedOpen = false;  // the typed name was not taken
};

// Answers the program's save dialogs as a user would: picks the file type in the dialog's type
// box, types the name into its name field and clicks Save; one answer per dialog, dialogs
// beyond the answers are cancelled.
class SaveDialogDriver {
  public:
    explicit SaveDialogDriver(std::vector<SaveDialogAnswer> answers)
        : answers_(std::move(answers)), timer_(std::make_unique<QTimer>()) {
        QObject::connect(timer_.get(), &QTimer::timeout, [this] { Poll(); });
        timer_->start(10);
    }
    const std::vector<SeenSaveDialog>& Seen() const { return seen_; }

  private:
    void Poll() {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible() || dialog->property("answered").toBool() ||
            dialog->objectName() != QLatin1String(gui::SAVE_DIALOG_NAME)) {
            return;
        }
        dialog->setProperty("answered", true);
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        seen_.push_back({dialog->nameFilters(), dialog->selectedNameFilter(),
                         dialog->directory().absolutePath(), name ? name->text() : QString(),
                         !dialog->testOption(QFileDialog::DontConfirmOverwrite)});
        const std::size_t index = seen_.size() - 1;
        if (index >= answers_.size() || answers_[index].cancel || !name || !types) {
            dialog->reject();
            return;
        }
        const SaveDialogAnswer& answer = answers_[index];
        ExpectDialog(
            QStringLiteral("the save dialog to take the name \"%1\"").arg(answer.typedName));
        if (answer.filterIndex > 0) {
            // The type box as the keyboard moves it: each step is the user's choice.
            types->setFocus();
            while (types->currentIndex() < answer.filterIndex - 1) {
                QTest::keyClick(types, Qt::Key_Down);
            }
            while (types->currentIndex() > answer.filterIndex - 1) {
                QTest::keyClick(types, Qt::Key_Up);
            }
        }
        // Typing goes to the focused name field of the active dialog (the dialog follows the
        // typed name in its file list only then).
        dialog->activateWindow();
        if (!QTest::qWaitForWindowActive(dialog, 2000)) {
            seen_.back().stayedOpen = true;
            dialog->reject();
            return;
        }
        name->setFocus();
        name->clear();
        QTest::keyClicks(name, answer.typedName);
        // The dialog's Save button (Return may go to the name completer's list first).
        for (QAbstractButton* button : dialog->findChild<QDialogButtonBox*>()->buttons()) {
            if (dialog->findChild<QDialogButtonBox*>()->buttonRole(button) ==
                QDialogButtonBox::AcceptRole) {
                button->click();
                break;
            }
        }
        // Still open (the replace question was answered No): the user gives up.
        if (dialog->isVisible()) {
            seen_.back().stayedOpen = true;
            dialog->reject();
        }
    }

    std::vector<SaveDialogAnswer> answers_;
    std::vector<SeenSaveDialog> seen_;
    std::unique_ptr<QTimer> timer_;
};

}  // namespace fotolyx::testing
