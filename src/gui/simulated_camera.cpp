#include "gui/simulated_camera.h"

#include <QFileInfo>

#include <sys/prctl.h>

#include <csignal>

namespace fotolyx::gui {

namespace {
constexpr int START_WAIT_MS = 10'000;
constexpr int STOP_WAIT_MS = 3'000;
constexpr int SAMPLE_PICTURES = 9;
}  // namespace

SimulatedCamera::~SimulatedCamera() {
    Stop();
}

bool SimulatedCamera::Start(const QString& camsimProgram, const QString& folder,
                            const QStringList& extraArguments, std::string& error) {
    if (!QFileInfo(camsimProgram).isExecutable()) {
        error = "the simulated camera " + camsimProgram.toStdString() + " is missing";
        return false;
    }
    QStringList arguments;
    if (folder.isEmpty()) {
        arguments << QStringLiteral("--pictures") << QString::number(SAMPLE_PICTURES);
    } else {
        arguments << QStringLiteral("--picture-folder") << folder;
    }
    arguments << extraArguments;
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // The camera goes with this program, however it ends.
    process_.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
    process_.start(camsimProgram, arguments);
    if (!process_.waitForStarted(START_WAIT_MS)) {
        error = "the simulated camera did not start: " + process_.errorString().toStdString();
        return false;
    }
    while (!process_.canReadLine()) {
        if (!process_.waitForReadyRead(START_WAIT_MS)) {
            error = "the simulated camera did not tell its terminal";
            Stop();
            return false;
        }
    }
    devicePath_ = QString::fromLocal8Bit(process_.readLine()).trimmed();
    return !devicePath_.isEmpty();
}

void SimulatedCamera::Stop() {
    if (process_.state() != QProcess::NotRunning) {
        process_.terminate();
        if (!process_.waitForFinished(STOP_WAIT_MS)) {
            process_.kill();
            process_.waitForFinished(STOP_WAIT_MS);
        }
    }
}

}  // namespace fotolyx::gui
