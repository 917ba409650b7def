#include "gui/gui_program.h"

#include <QFile>
#include <QFileInfo>

#include "app/open_command.h"
#include "gui/image_adjust_dialog.h"
#include "gui/live_image_view.h"
#include "gui/open_file_dialog.h"
#include "gui/preview_view.h"
#include "gui/print_job.h"

namespace fotolyx::gui {

namespace {

bool ParseDepth(const std::string& text, int& depth) {
    if (text == "8" || text == "24") {
        depth = std::stoi(text);
        return true;
    }
    return false;
}

}  // namespace

bool ParseGuiOptions(const std::vector<std::string>& arguments, GuiOptions& options,
                     std::string& error) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--simulate") {
            options.simulate = true;
        } else if (argument.starts_with("--simulate=")) {
            options.simulate = true;
            options.simulateFolder = QString::fromStdString(argument.substr(11));
            if (options.simulateFolder.isEmpty()) {
                error = "--simulate= needs a folder";
                return false;
            }
        } else if (argument == "--port" && i + 1 < arguments.size()) {
            if (!options.ports.Parse(arguments[i + 1])) {
                error = "bad port assignment '" + arguments[i + 1] + "' (expected COMn=PATH)";
                return false;
            }
            ++i;
        } else if (argument.starts_with("--port=")) {
            if (!options.ports.Parse(argument.substr(7))) {
                error = "bad port assignment '" + argument.substr(7) + "' (expected COMn=PATH)";
                return false;
            }
        } else if (argument == "--log" && i + 1 < arguments.size()) {
            options.logPath = arguments[++i];
        } else if (argument.starts_with("--log=")) {
            options.logPath = argument.substr(6);
        } else if (argument == "--display-depth" && i + 1 < arguments.size()) {
            if (!ParseDepth(arguments[i + 1], options.displayDepth)) {
                error = "bad display depth '" + arguments[i + 1] + "' (expected 8 or 24)";
                return false;
            }
            ++i;
        } else if (argument.starts_with("--display-depth=")) {
            if (!ParseDepth(argument.substr(16), options.displayDepth)) {
                error = "bad display depth '" + argument.substr(16) + "' (expected 8 or 24)";
                return false;
            }
        } else if (argument == "--settings" && i + 1 < arguments.size()) {
            options.settingsFile = arguments[++i];
        } else if (argument.starts_with("--settings=") && argument.size() > 11) {
            options.settingsFile = argument.substr(11);
        } else if (argument.starts_with("-") && argument != "-") {
            error = "unknown argument '" + argument + "'";
            return false;
        } else {
            options.files.push_back(QString::fromStdString(argument));
        }
    }
    return true;
}

GuiProgram::GuiProgram(PortMap ports, HostEnvironment environment, const std::string& logPath)
    : line_(std::move(ports)),
      traceFile_(logPath.empty() ? std::ofstream() : std::ofstream(logPath)),
      tracing_(line_, traceFile_.is_open() ? &traceFile_ : nullptr),
      program_(Ports{shell_, timers_, tracing_, clock_, memory_, freeSpace_},
               std::move(environment)) {
    timers_.onTimer = [this](WindowId window, int id) {
        program_.TimerFired(window, id);
        AfterEvent();
    };
    watcher_.watchedFd = [this] {
        return program_.receiver.Watching() ? line_.FileDescriptor() : -1;
    };
    watcher_.busy = [this] { return program_.receiver.Dispatching(); };
    watcher_.onReadable = [this] { program_.receiver.OnReadable(); };
    watcher_.onHangUp = [this] { program_.receiver.OnHangUp(); };
    shell_.afterEvent = [this] { AfterEvent(); };
    shell_.reconnectNote = [this] { return line_.AccessHint(); };

    frame_ = std::make_unique<FrameWindow>(program_, shell_);
    shell_.Attach(frame_.get(), &program_.linkSetup);
    frame_->afterEvent = [this] { AfterEvent(); };
    frame_->makeLiveImageWindow = [this] { return new LiveImageView(liveBinding_); };
    frame_->makePreviewWindow = [this] { return new PreviewView(previewBinding_); };
    frame_->makeChildWindow = [this](const ChildWindowRequest& request) -> ChildWindow* {
        if (request.kind != ChildKind::Capture && request.kind != ChildKind::Openfile) {
            return nullptr;
        }
        return new PictureView(request.id, *this);
    };
    frame_->openFile = [this] { RunOpenCommand(frame_.get(), program_); };
    shell_.pleaseWaitClosed = [this](PleaseWait dialog) {
        program_.pictureDownload.PleaseWaitClosed(dialog);
    };
}

GuiProgram::~GuiProgram() {
    // Children first: their windows may still refer to the program.
    frame_.reset();
}

void GuiProgram::Start() {
    frame_->Start();
    AfterEvent();
}

void GuiProgram::AfterEvent() {
    watcher_.Update();
}

PreviewPaintState GuiProgram::PreviewBinding::PaintState() {
    return PaintStateOf(Preview(), gui_.program_.display);
}

ScrollBarState GuiProgram::PreviewBinding::ScrollBar() {
    return gui_.program_.indexTransfer.previewScrollBar;
}

void GuiProgram::PreviewBinding::Click(int x, int y, unsigned keys) {
    Preview().LButtonDown(x, y, keys);
}

void GuiProgram::PreviewBinding::DoubleClick(int x, int y, unsigned keys) {
    Preview().LButtonDblClk(x, y, keys);
}

void GuiProgram::PreviewBinding::Scroll(int request, int position) {
    Preview().VScroll(request, position);
}

void GuiProgram::PreviewBinding::Command(int id) {
    Preview().Command(id);
}

int GuiProgram::PreviewBinding::DrawItem(int id, unsigned itemState, unsigned itemAction) {
    return Preview().DrawItem(id, itemState, itemAction);
}

void GuiProgram::PreviewBinding::Activated(bool active) {
    Preview().MdiActivate(active);
}

PictureWindow* GuiProgram::FindPictureWindow(WindowId id) {
    if (PictureWindow* openfile = program_.FindOpenfileWindow(id)) {
        return openfile;
    }
    return program_.captureWindows.Find(id);
}

void GuiProgram::PictureViewClosed(WindowId id) {
    if (program_.FindOpenfileWindow(id)) {
        program_.DestroyOpenfileWindow(id);
    } else {
        program_.captureWindows.Destroy(id);
    }
}

void GuiProgram::AdjustPicture(QWidget* owner, WindowId id) {
    // An Openfile window's palettes are rebuilt by the program once its picture changed; a
    // Capture window's by the dialog.
    if (PictureWindow* openfile = program_.FindOpenfileWindow(id)) {
        if (RunImageAdjustment(owner, program_, &openfile->picture()) == AdjustDialogEnd::Applied) {
            program_.OpenfilePictureChanged(id);
        }
    } else if (PictureWindow* capture = program_.captureWindows.Find(id)) {
        if (RunImageAdjustment(owner, program_, &capture->picture(), &capture->palette()) ==
            AdjustDialogEnd::Applied) {
            capture->SetModified();
            owner->update();
        }
    }
}

void GuiProgram::EndWithoutAsking() {
    if (frame_->IsShutDown()) {
        return;
    }
    if (program_.live.LiveViewRunning != 0 || program_.live.LivePhotoRunning != 0) {
        program_.liveWindow.StopBothActivities(false);
    }
    frame_->ShutDown();
}

bool GuiProgram::SessionEnding(bool mayAsk) {
    if (!mayAsk) {
        EndWithoutAsking();
        return true;
    }
    if (!frame_->IsShutDown()) {
        frame_->close();
    }
    return frame_->IsShutDown();
}

void GuiProgram::OpenFiles(const std::vector<QString>& files) {
    for (const QString& file : files) {
        OpenPictureArgument(program_,
                            QFile::encodeName(QFileInfo(file).absoluteFilePath()).toStdString());
        AfterEvent();
    }
}

}  // namespace fotolyx::gui
