#pragma once

#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "link/link_setup.h"
#include "ports/shell.h"

namespace fotolyx::gui {

// Makes a dialog modal to its owner's window only (to the whole program when it has none): the
// help window, a window of its own, stays usable, so the advice a dialog points to can be read
// while the dialog waits for an answer.
void MakeModalToOwner(QDialog& dialog);

// Gives a small dialog the width its title needs in the window's title bar (with room for the
// title bar's buttons), so that the title is not cut short.
void FitTitle(QDialog& dialog);

// Sizes the columns of a file dialog's detail view to their contents at the dialog's font, and
// the dialog so that they fit, so that sizes and types are not cut short.
void FitFileColumns(QFileDialog& dialog);

// One button of a dialog: its control id, its caption and what it does.
struct DialogButton {
    int id;
    const char* text;
    std::function<void()> action;
};

// A link dialog (COM_RECONNECT, COM_DISCONNECT, COM_CANCELOK): modal for the user, but shown
// without waiting; its buttons call the link's methods, which end it through the Shell. Esc
// and the close box press the button with id 2 (Cancel).
class LinkDialogWindow final : public QDialog {
  public:
    LinkDialogWindow(QWidget* parent, const char* title, const std::vector<const char*>& texts,
                     std::vector<DialogButton> buttons);
    // The button with this id, as a click would press it.
    void Press(int id);

  protected:
    void reject() override;

  private:
    std::vector<DialogButton> buttons_;
};

// Title, texts and buttons of each link dialog; the buttons call into setup.
struct LinkDialogContent {
    const char* title;
    std::vector<const char*> texts;
    std::vector<DialogButton> buttons;
};
LinkDialogContent LinkDialogContents(LinkDialog dialog, LinkSetup& setup);

// The read-only COM SETUP dialog: OK ends it, Esc does not.
class ComSetupDialog final : public QDialog {
  public:
    ComSetupDialog(QWidget* parent, const ComSetupContents& contents);

  protected:
    void reject() override {}
};

// A please-wait dialog: no buttons, the text of control 1005 blinking every 500 ms. The program
// ends it (End) when the transfer is over; the user's Esc or close box ends it too and is
// told to onUserClose.
class PleaseWaitDialog final : public QDialog {
  public:
    PleaseWaitDialog(QWidget* parent, PleaseWait kind);
    void End();
    QString ControlText() const { return control_->text(); }
    PleaseWait Kind() const { return kind_; }
    std::function<void(PleaseWait)> onUserClose;

  protected:
    void reject() override;

  private:
    PleaseWait kind_;
    QLabel* control_;
    QString waitText_;
    QTimer blink_;
    bool showing_ = true;
};

// The About box.
class AboutDialog final : public QDialog {
  public:
    explicit AboutDialog(QWidget* parent);
};

}  // namespace fotolyx::gui
