#pragma once

#include <QColor>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "gui/gui_program.h"
#include "support/fakes.h"

#include <ostream>

inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

inline void PrintTo(const QColor& colour, std::ostream* out) {
    *out << "rgb(" << colour.red() << "," << colour.green() << "," << colour.blue() << ")";
}

namespace fotolyx::testing {

// The window program against the simulated camera (fotolyx-camsim on a pseudo-terminal as
// COM1), or against the ports given, with its folders in a temporary directory.
class GuiSession {
  public:
    // camsimArguments: options for the camera (fault options and the like); nothing starts a
    // camera when withCamera is false.
    // devices: the ports that lead somewhere (the camera, when there is one, is COM1).
    // trueColourDisplay: false runs the program as on a 256-colour screen.
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

  private:
    TempDir folder_;
    gui::SimulatedCamera camera_;
    std::unique_ptr<gui::GuiProgram> gui_;
    QStringList statusHistory_;
};

// A message box as it was shown.
struct SeenBox {
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
};

// Answers the message boxes that come up with the given buttons, one answer per box, and
// records each box. Boxes beyond the answers are answered with their escape button.
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

// Gives up on a modal dialog that nobody ends: when a dialog, message box or menu running its
// own event loop has stayed up longer than the limit, the test fails with what was up and what
// the test was waiting for, and the dialog is rejected so that the test can end. One watches
// every test of the window program (gui_test_main.cpp).
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

// Tells the watchdog what the running test waits for while a dialog is up ("the Open dialog
// to take the chosen file"); dialog drivers set it, and it names the step in a failure.
void ExpectDialog(const QString& waitingFor);

// The pixel colour of a widget grab at a point of the widget.
QColor PixelAt(const QImage& grab, int x, int y);

// A path that is no device, for ports that must stay silent.
std::string MissingDevice(const TempDir& folder, const std::string& name);

}  // namespace fotolyx::testing
