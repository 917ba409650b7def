#pragma once

#include <functional>
#include <string>

#include "imaging/dib_block.h"
#include "imaging/save_pipeline.h"
#include "ports/shell.h"
#include "ports/timers.h"
#include "windows/capture_window.h"

namespace fotolyx {

inline constexpr std::size_t OPENFILE_PICTURE_SIZE = 925'696;
inline constexpr int OPENFILE_WINDOW_WIDTH = 644;
inline constexpr int OPENFILE_WINDOW_HEIGHT = 510;
// Openfile windows get ids from here on (Capture windows count from 100).
inline constexpr WindowId FIRST_OPENFILE_WINDOW = 50'000;

// What an Openfile window reaches of the rest of the program.
struct OpenfileWindowPorts {
    Shell& shell;
    std::function<SaveContext()> saveContext;
    // Data out to camera (40006 Fine, 40009 Normal) with this window's picture.
    std::function<void(WindowId window, int commandId, const DibBlock& picture)> upload;
    // Timers 1 and 2, the upload's watchdog.
    std::function<void(WindowId window, int id)> uploadTimer;
};

// An Openfile window without its drawing: a 640 x 480 picture of its own, the modified flag,
// its title, and the commands it handles itself or hands on.
class OpenfileWindow {
  public:
    OpenfileWindow(WindowId id, std::string title, bool modified, DibBlock picture,
                   OpenfileWindowPorts ports)
        : id_(id),
          title_(std::move(title)),
          modified_(modified),
          picture_(std::move(picture)),
          ports_(std::move(ports)) {}

    void Command(int id);
    void Timer(int id);
    // Close and end-of-session requests: asks about unsaved changes; the window always goes.
    bool Close();

    WindowId id() const { return id_; }
    const std::string& title() const { return title_; }
    bool modified() const { return modified_; }
    void SetModified() { modified_ = true; }
    const DibBlock& picture() const { return picture_; }
    DibBlock& picture() { return picture_; }
    const SaveAsResult& lastSave() const { return lastSave_; }

  private:
    void SaveAs();

    WindowId id_;
    std::string title_;
    bool modified_;
    DibBlock picture_;
    OpenfileWindowPorts ports_;
    SaveAsResult lastSave_;
};

// "Save changes to %s?" with the title filled in.
std::string SaveChangesQuestion(const std::string& title);

}  // namespace fotolyx
