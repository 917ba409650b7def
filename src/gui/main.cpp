#include <QApplication>
#include <QDir>
#include <QScreen>
#include <QSessionManager>
#include <QSocketNotifier>
#include <iostream>
#include <memory>

#include "fotolyx_version.h"
#include "gui/frame_icon.h"
#include "gui/gui_program.h"
#include "host/signal_pipe.h"

int main(int argc, char** argv) {
    using namespace fotolyx;
    using namespace fotolyx::gui;

    std::vector<std::string> arguments(argv + 1, argv + argc);
    for (const std::string& argument : arguments) {
        if (argument == "--help" || argument == "-h") {
            std::cout << GUI_USAGE;
            return 0;
        }
        if (argument == "--version") {
            std::cout << "fotolyx " << FOTOLYX_VERSION << '\n';
            return 0;
        }
    }
    GuiOptions options;
    std::string error;
    if (!ParseGuiOptions(arguments, options, error)) {
        std::cerr << "fotolyx: " << error << '\n' << GUI_USAGE;
        return 2;
    }

    // SIGTERM (log-out, kill), SIGINT and SIGHUP end the program in order from the event loop.
    host::SignalPipe endingSignals;
    QApplication application(argc, argv);
    SetUpDesktopIntegration();
    SimulatedCamera camera;
    if (options.simulate) {
        const QString camsim =
            QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("fotolyx-camsim"));
        if (!camera.Start(camsim, options.simulateFolder, {}, error)) {
            std::cerr << "fotolyx: " << error << '\n';
            return 1;
        }
        options.ports.Set(PORT_COM1, camera.DevicePath().toStdString());
        std::cerr << "fotolyx: COM1 is a simulated camera on " << camera.DevicePath().toStdString()
                  << '\n';
    }

    const QScreen* screen = QGuiApplication::primaryScreen();
    const int depth =
        options.displayDepth != 0 ? options.displayDepth : (screen ? screen->depth() : 24);
    const bool trueColour = depth != 8;
    HostEnvironment environment = HostEnvironment::FromProcess(trueColour);
    if (!options.settingsFile.empty()) {
        environment.settingsFile = options.settingsFile;
    }
    const PortMap ports = PortsForRun(options.ports, environment);
    const std::string logPath = !options.logPath.empty()
                                    ? options.logPath
                                    : ReadTraceSetting(ChooseSettingsPath(environment));
    GuiProgram program(ports, std::move(environment), logPath);
    if (!logPath.empty() && !program.Tracing()) {
        std::cerr << "fotolyx: cannot write the trace " << logPath << '\n';
    }

    // A signal ends the event loop, and with it any dialog open at the time (nobody is there
    // to answer it); the shutdown then runs once the loops have unwound, from aboutToQuit.
    std::unique_ptr<QSocketNotifier> signalNotifier;
    if (endingSignals.Ready()) {
        signalNotifier =
            std::make_unique<QSocketNotifier>(endingSignals.ReadFd(), QSocketNotifier::Read);
        QObject::connect(signalNotifier.get(), &QSocketNotifier::activated, [&endingSignals] {
            if (endingSignals.Take() != 0) {
                QCoreApplication::exit(endingSignals.ExitStatus());
            }
        });
    }
    QObject::connect(&application, &QCoreApplication::aboutToQuit,
                     [&program] { program.EndWithoutAsking(); });
#ifndef QT_NO_SESSIONMANAGER
    // The session ends: Exit's questions when the session manager lets us ask.
    QObject::connect(
        &application, &QGuiApplication::commitDataRequest, [&program](QSessionManager& manager) {
            const bool mayAsk = manager.allowsInteraction();
            if (!program.SessionEnding(mayAsk)) {
                manager.cancel();
                return;
            }
            if (mayAsk) {
                manager.release();
            }
            // The program has shut down: its windows go with it.
            QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        });
#endif

    program.Start();
    program.OpenFiles(options.files);
    return QApplication::exec();
}
