#pragma once

#include <QApplication>
#include <QColor>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>
#include <ostream>
#include <vector>

#include "gui/gui_program.h"
#include "support/fakes.h"

inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

inline void PrintTo(const QColor& colour, std::ostream* out) {
    *out << "rgb(" << colour.red() << "," << colour.green() << "," << colour.blue() << ")";
}

namespace fotolyx::testing {

// The window program with its folders in a temporary directory, fotolyx-camsim as COM1.
class GuiSession {
  public:
    explicit GuiSession(bool withCamera = true);

    gui::GuiProgram& gui() { return *gui_; }
    gui::FrameWindow& frame() { return gui_->frame(); }
    Program& program() { return gui_->program(); }
    const TempDir& folder() const { return folder_; }

    const QStringList& StatusHistory() const { return statusHistory_; }  // without repeats
    bool WaitFor(const std::function<bool()>& condition, int milliseconds = 15'000);
    bool WaitForIndex();  // the index is in and the status says Ready

  private:
    TempDir folder_;
    gui::SimulatedCamera camera_;
    QStringList statusHistory_;
    std::unique_ptr<gui::GuiProgram> gui_;  // goes first
};

struct SeenBox {
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
};

// Answers the message boxes in turn and records them; boxes beyond the answers are rejected.
class BoxAnswerer {
  public:
    explicit BoxAnswerer(std::vector<QMessageBox::StandardButton> answers);
    const std::vector<SeenBox>& Seen() const { return seen_; }

  private:
    void Poll();
    std::vector<QMessageBox::StandardButton> answers_;
    std::vector<SeenBox> seen_;
    QTimer timer_;
};

// Runs the steps once on the first visible top-level widget T, also from a dialog's own loop.
template <typename T>
class OnShown {
  public:
    explicit OnShown(std::function<void(T&)> steps, int interval = 10) : steps_(std::move(steps)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
        timer_.start(interval);
    }
    bool Ran() const { return ran_; }

  private:
    void Poll() {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* found = dynamic_cast<T*>(widget); found && found->isVisible()) {
                ran_ = true;
                timer_.stop();
                steps_(*found);
                return;
            }
        }
    }
    std::function<void(T&)> steps_;
    QTimer timer_;
    bool ran_ = false;
};

// Fails the test on a dialog, box or menu left up in its own loop past the limit, naming it and
// what the test waited for, and rejects it so the test can end (gui_test_main.cpp starts one).
class ModalWatchdog {
  public:
    explicit ModalWatchdog(int limitMilliseconds = 10'000);

  private:
    void Check();
    int limit_;
    QTimer timer_;
    QPointer<QWidget> watched_;
    qint64 since_ = 0;
};

// What the running test waits for while a dialog is up; a watchdog failure names it.
void ExpectDialog(const QString& waitingFor);

}  // namespace fotolyx::testing
