#pragma once

#include <QApplication>
#include <QColor>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <string>
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

// The window program against fotolyx-camsim on a pseudo-terminal as COM1 (or against the ports
// given), with its folders in a temporary directory.
class GuiSession {
  public:
    // devices: the ports that lead somewhere; trueColourDisplay false: a 256-colour screen.
    explicit GuiSession(bool withCamera = true, const QStringList& camsimArguments = {},
                        const std::map<int, std::string>& devices = {},
                        bool trueColourDisplay = true);
    ~GuiSession();

    gui::GuiProgram& gui() { return *gui_; }
    gui::FrameWindow& frame() { return gui_->frame(); }
    Program& program() { return gui_->program(); }
    gui::SimulatedCamera& camera() { return camera_; }
    const TempDir& folder() const { return folder_; }

    // Every status text shown so far, in order, without repeats.
    const QStringList& StatusHistory() const { return statusHistory_; }
    bool WaitFor(const std::function<bool()>& condition, int milliseconds = 15'000);
    // The camera's index is in and the program says Ready.
    bool WaitForIndex();
    // The picture at the position downloaded by a click and a double click on its thumbnail.
    CaptureWindow* Download(int position);
    // An Openfile window on the picture, as opening a file makes it.
    OpenfileWindow* OpenPicture(const DibBlock& picture, const std::string& title);

  private:
    TempDir folder_;
    gui::SimulatedCamera camera_;
    std::unique_ptr<gui::GuiProgram> gui_;
    QStringList statusHistory_;
};

// The centre of the thumbnail of a position in the Preview's first rows.
QPoint ThumbnailCentre(int position);

// 640 x 480 in four plain quadrants: red, green (top), blue, yellow (bottom).
extern const QColor QUADRANT_COLOURS[4];
DibBlock QuadrantPicture();

// A message box as it was shown.
struct SeenBox {
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
};

// Answers the message boxes that come up, one answer per box, and records each box. Boxes
// beyond the answers are answered with their escape button.
class BoxAnswerer {
  public:
    explicit BoxAnswerer(std::vector<QMessageBox::StandardButton> answers);
    ~BoxAnswerer();
    const std::vector<SeenBox>& Seen() const { return seen_; }

  private:
    void Poll();
    std::vector<QMessageBox::StandardButton> answers_;
    std::vector<SeenBox> seen_;
    std::unique_ptr<QTimer> timer_;
};

// Runs the steps once on the first visible top-level widget of type T, from the event loop (so
// from inside a dialog's own loop). A dialog the steps leave up is the watchdog's.
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

// Fails the running test when a dialog, message box or menu in its own event loop stays up
// longer than the limit, naming it and what the test waited for, and rejects it so that the
// test can end. One watches every test (gui_test_main.cpp).
class ModalWatchdog {
  public:
    explicit ModalWatchdog(int limitMilliseconds = 10'000);
    ~ModalWatchdog();
    ModalWatchdog(const ModalWatchdog&) = delete;
    ModalWatchdog& operator=(const ModalWatchdog&) = delete;

  private:
    void Check();
    int limit_;
    std::unique_ptr<QTimer> timer_;
    QPointer<QWidget> watched_;
    qint64 since_ = 0;
};

// What the running test waits for while a dialog is up; a watchdog failure names it.
void ExpectDialog(const QString& waitingFor);

// A path that is no device, for ports that must stay silent.
std::string MissingDevice(const TempDir& folder, const std::string& name);

}  // namespace fotolyx::testing
