#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <string>

namespace fotolyx::gui {

// The simulated camera of --simulate: fotolyx-camsim, started beside this program, serving a
// camera on a pseudo-terminal until this object goes.
class SimulatedCamera {
  public:
    SimulatedCamera() = default;
    ~SimulatedCamera();
    SimulatedCamera(const SimulatedCamera&) = delete;
    SimulatedCamera& operator=(const SimulatedCamera&) = delete;

    // Starts the camera (with its picture folder, or generated pictures when folder is empty)
    // and waits for the terminal's path; false with a message in error when it cannot.
    bool Start(const QString& camsimProgram, const QString& folder,
               const QStringList& extraArguments, std::string& error);
    const QString& DevicePath() const { return devicePath_; }
    QProcess& Process() { return process_; }
    void Stop();

  private:
    QProcess process_;
    QString devicePath_;
};

}  // namespace fotolyx::gui
