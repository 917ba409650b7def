#include "gui/gui_program.h"

#include <QFile>
#include <QFileInfo>

#include "app/open_command.h"
#include "gui/capture_view.h"
#include "gui/image_adjust_dialog.h"
#include "gui/live_image_view.h"
#include "gui/open_file_dialog.h"
#include "gui/openfile_view.h"
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
    frame_->makeLiveImageWindow = [this] {
        return new LiveImageView(program_, [this] { AfterEvent(); });
    };
    frame_->makePreviewWindow = [this] {
        PreviewWindow& preview = program_.previewWindow;
        PreviewLogic logic;
        logic.paintState = [this, &preview] { return PaintStateOf(preview, program_.display); };
        logic.scrollBar = [this] { return program_.indexTransfer.previewScrollBar; };
        logic.click = [&preview](int x, int y, unsigned keys) { preview.LButtonDown(x, y, keys); };
        logic.doubleClick = [&preview](int x, int y, unsigned keys) {
            preview.LButtonDblClk(x, y, keys);
        };
        logic.scroll = [&preview](int code, int pos) { preview.VScroll(code, pos); };
        logic.command = [&preview](int id) { preview.Command(id); };
        logic.drawItem = [&preview](int id, unsigned state, unsigned action) {
            return preview.DrawItem(id, state, action);
        };
        logic.activated = [&preview](bool active) { preview.MdiActivate(active); };
        logic.afterEvent = [this] { AfterEvent(); };
        return new PreviewView(std::move(logic));
    };
    frame_->makeChildWindow = [this](const ChildWindowRequest& request) -> ChildWindow* {
        if (request.kind == ChildKind::Openfile) {
            return MakeOpenfileView(request);
        }
        if (request.kind != ChildKind::Capture) {
            return nullptr;
        }
        const WindowId id = request.id;
        auto* view = new CaptureView(
            id, [this, id] { return program_.captureWindows.Find(id); },
            [this, id] { program_.captureWindows.Destroy(id); }, [this] { AfterEvent(); },
            program_.display);
        view->imageAdjustment = [this, id, view] {
            CaptureWindow* window = program_.captureWindows.Find(id);
            if (window && RunImageAdjustment(view, program_, &window->picture(),
                                             &window->palette()) == AdjustDialogEnd::Applied) {
                window->SetModified();
                view->update();
            }
        };
        view->activated = [this, id](bool active) {
            program_.captureWindows.Activated(id, active);
        };
        view->painting = [this, id](bool active) { program_.captureWindows.Painting(id, active); };
        view->print = [this, id, view] {
            if (const CaptureWindow* window = program_.captureWindows.Find(id)) {
                PrintPicture(view, QString::fromStdString(window->title()), window->picture());
            }
        };
        return view;
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

ChildWindow* GuiProgram::MakeOpenfileView(const ChildWindowRequest& request) {
    const WindowId id = request.id;
    // The frame gives a new window the client area of its outer size less its borders.
    const QSize client(request.width - CAPTURE_FRAME_EXTRA_WIDTH,
                       request.height - CAPTURE_FRAME_EXTRA_HEIGHT);
    auto* view = new OpenfileView(
        id, client, [this, id] { return program_.FindOpenfileWindow(id); },
        [this, id] { program_.DestroyOpenfileWindow(id); }, [this] { AfterEvent(); },
        program_.display);
    view->imageAdjustment = [this, id, view] {
        OpenfileWindow* window = program_.FindOpenfileWindow(id);
        if (window &&
            RunImageAdjustment(view, program_, &window->picture()) == AdjustDialogEnd::Applied) {
            program_.OpenfilePictureChanged(id);
        }
    };
    view->print = [this, id, view] {
        if (const OpenfileWindow* window = program_.FindOpenfileWindow(id)) {
            PrintPicture(view, QString::fromStdString(window->title()), window->picture());
        }
    };
    return view;
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
