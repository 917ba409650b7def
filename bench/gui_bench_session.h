// The window program (Qt offscreen unless a platform is named) against fotolyx-camsim on a
// pseudo-terminal as COM1, with its folders in a scratch directory, for the gui_* benchmarks.
#pragma once

#include <stdlib.h>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "camsim/camsim_process.h"
#include "gui/gui_program.h"

namespace fotolyx::bench {

using Clock = std::chrono::steady_clock;

// Line speed the camera and the program agree on, and the bits a byte takes on the line.
inline constexpr double BAUD = 115200.0;
inline constexpr double BITS_PER_BYTE = 10.0;

// A QApplication on the offscreen platform unless QT_QPA_PLATFORM names another.
inline std::unique_ptr<QApplication> MakeApplication(int& argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    return std::make_unique<QApplication>(argc, argv);
}

// Runs the event loop until the condition holds or the time is up; the loop answers each packet
// the moment it arrives, as the program's own loop does.
inline bool RunUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    if (condition()) {
        return true;
    }
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (condition()) {
            loop.quit();
        }
    });
    check.start(1);
    QTimer::singleShot(limit, &loop, &QEventLoop::quit);
    loop.exec();
    return condition();
}

// Runs the event loop for a while, with nothing of its own waking it.
inline void RunFor(std::chrono::milliseconds time) {
    QEventLoop loop;
    QTimer::singleShot(time, &loop, &QEventLoop::quit);
    loop.exec();
}

class GuiBenchSession {
  public:
    explicit GuiBenchSession(const std::vector<std::string>& camsimOptions)
        : folder_(MakeFolder()), camsim_(camsim::CamsimBesideThisProgram(), camsimOptions) {
        PortMap ports;
        ports.Set(PORT_COM1,
                  camsim_.path().empty() ? (folder_ / "no-camera").string() : camsim_.path());
        for (const int id : {PORT_COM2, PORT_COM3, PORT_COM4}) {
            ports.Set(id, (folder_ / ("no-port-" + std::to_string(id))).string());
        }
        HostEnvironment environment = HostEnvironment::FromProcess(true);
        environment.programDirectory = environment.startDirectory = folder_;
        environment.configHome = folder_ / "config";
        environment.tempDirectory = folder_;
        gui_ = std::make_unique<gui::GuiProgram>(std::move(ports), std::move(environment));
        started_ = Clock::now();
        gui_->Start();
    }
    ~GuiBenchSession() {
        gui_.reset();
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

    bool CameraStarted() const { return !camsim_.path().empty(); }
    pid_t CameraPid() const { return camsim_.pid(); }
    gui::GuiProgram& gui() { return *gui_; }
    Program& program() { return gui_->program(); }
    Clock::time_point Started() const { return started_; }

  private:
    static std::filesystem::path MakeFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "fotolyx-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::exit(1);
        }
        return pattern;
    }

    std::filesystem::path folder_;
    camsim::CamsimProcess camsim_;
    std::unique_ptr<gui::GuiProgram> gui_;
    Clock::time_point started_;
};

}  // namespace fotolyx::bench
