#include "gui/gui_session.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDateTime>
#include <QDir>
#include <QTest>
#include <QThread>
#include <cstdlib>

namespace fotolyx::testing {

GuiSession::GuiSession(bool withCamera) {
    PortMap ports;  // paths that are no devices: the other ports stay silent
    for (const int id : {PORT_COM1, PORT_COM2, PORT_COM3, PORT_COM4}) {
        ports.Set(id, (folder_.path() / ("no-" + std::to_string(id))).string());
    }
    if (withCamera) {
        const char* binDir = std::getenv("FOTOLYX_BIN_DIR");
        const QDir programs(binDir ? QString::fromLocal8Bit(binDir)
                                   : QStringLiteral(FOTOLYX_BINARY_DIR "/bin"));
        std::string error;
        if (!camera_.Start(programs.filePath(QStringLiteral("fotolyx-camsim")), QString(), {},
                           error)) {
            ADD_FAILURE() << error;
        }
        ports.Set(PORT_COM1, camera_.DevicePath().toStdString());
    }
    HostEnvironment environment = HostEnvironment::FromProcess(true);
    environment.programDirectory = environment.startDirectory = folder_.path();
    environment.tempDirectory = folder_.path();
    environment.configHome = folder_.path() / "config";
    gui_ = std::make_unique<gui::GuiProgram>(std::move(ports), environment);
    gui_->Start();
    statusHistory_ << frame().StatusText();
    frame().onStatusText = [this](const QString& text) {
        if (statusHistory_.back() != text) {
            statusHistory_ << text;
        }
    };
}

bool GuiSession::WaitFor(const std::function<bool()>& condition, int milliseconds) {
    return QTest::qWaitFor(condition, milliseconds);
}

bool GuiSession::WaitForIndex() {
    return WaitFor([this] {
        return program().indexTransfer.index.IndexLoaded && frame().StatusText() == "Ready";
    });
}

BoxAnswerer::BoxAnswerer(std::vector<QMessageBox::StandardButton> answers)
    : answers_(std::move(answers)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start(10);
}

void BoxAnswerer::Poll() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible() || box->property("answered").toBool()) {
        return;
    }
    box->setProperty("answered", true);
    seen_.push_back({box->windowTitle(), box->text(), box->icon(), box->standardButtons()});
    const std::size_t index = seen_.size() - 1;
    ExpectDialog(QStringLiteral("the message box \"%1\" to end with answer %2")
                     .arg(box->text())
                     .arg(index + 1));
    QAbstractButton* button = index < answers_.size() ? box->button(answers_[index]) : nullptr;
    if (button) {
        button->click();
    } else {
        box->reject();
    }
}

namespace {
QString waitingForNow;  // what the running test last said it waits for
}  // namespace

void ExpectDialog(const QString& waitingFor) {
    waitingForNow = waitingFor;
}

ModalWatchdog::ModalWatchdog(int limitMilliseconds) : limit_(limitMilliseconds) {
    QObject::connect(&timer_, &QTimer::timeout, [this] { Check(); });
    timer_.start(100);
}

void ModalWatchdog::Check() {
    // Only a widget in a nested event loop blocks the test.
    QWidget* modal = QApplication::activePopupWidget() ? QApplication::activePopupWidget()
                                                       : QApplication::activeModalWidget();
    if (modal == nullptr || QThread::currentThread()->loopLevel() == 0) {
        watched_ = nullptr;
        return;
    }
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (modal != watched_) {
        watched_ = modal;
        since_ = now;
        return;
    }
    if (now - since_ < limit_) {
        return;
    }
    QString name =
        QStringLiteral("%1 titled \"%2\"")
            .arg(QString::fromLatin1(modal->metaObject()->className()), modal->windowTitle());
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        name += QStringLiteral(" saying \"%1\"").arg(box->text());
    }
    ADD_FAILURE() << "Gave up after " << limit_ << " ms on a modal " << name.toStdString()
                  << " that nobody ended; the test was waiting for "
                  << (waitingForNow.isEmpty() ? "nothing in particular"
                                              : qPrintable(waitingForNow));
    watched_ = nullptr;
    if (auto* dialog = qobject_cast<QDialog*>(modal)) {
        dialog->reject();
    } else {
        modal->close();
    }
}

}  // namespace fotolyx::testing
