#include "gui/frame_window.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMenuBar>
#include <QPointer>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QTimer>
#include <algorithm>

#include "app/program.h"
#include "gui/dialogs.h"
#include "link/link_setup.h"
#include "link/protocol.h"
#include "ports/shell.h"
#include "windows/capture_window.h"

namespace fotolyx::gui {

namespace {

constexpr int PROGRESS_X = 150;
constexpr int PROGRESS_BOTTOM_OFFSET = 15;
constexpr int PROGRESS_WIDTH = 200;
constexpr int PROGRESS_HEIGHT = 12;

ChildWindow* ChildOf(QMdiSubWindow* sub) {
    auto* frame = dynamic_cast<ChildFrame*>(sub);
    return frame ? frame->Child() : nullptr;
}

}  // namespace

FrameWindow::FrameWindow(Program& program, Shell& shell)
    : program_(program), shell_(shell), mdi_(new QMdiArea(this)) {
    setWindowTitle(QString::fromLatin1(FRAME_TITLE));
    resize(FRAME_WIDTH, FRAME_HEIGHT);
    setCentralWidget(mdi_);
    mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);

    menus_ = BuildMenuBars([this](int id) { Command(id); });
    for (const MenuWidgets& bar : menus_) {
        QMenu* popup = bar.windowListPopup;
        connect(popup, &QMenu::aboutToShow, this, [this, popup] { FillWindowList(popup); });
    }
    ShowMenu(MenuBar::Frame);
    connect(mdi_, &QMdiArea::subWindowActivated, this,
            [this](QMdiSubWindow* sub) { ChildActivated(sub); });

    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    help->setContext(Qt::WindowShortcut);
    connect(help, &QShortcut::activated, this, [this] { ShowHelp(0); });
}

FrameWindow::~FrameWindow() {
    // The children go after this object: their activation changes must not reach it.
    QObject::disconnect(mdi_, nullptr, this, nullptr);
    for (const auto& [id, frame] : windows_) {
        QObject::disconnect(frame, nullptr, this, nullptr);
    }
}

void FrameWindow::Start() {
    program_.Startup();
    if (program_.settings.framePlacement) {
        ApplyPlacement(*program_.settings.framePlacement);
    }
    if (makeLiveImageWindow) {
        liveImage_ = AddChild(makeLiveImageWindow(), LIVE_IMAGE_PLACEMENT);
    }
    if (makePreviewWindow) {
        preview_ = AddChild(makePreviewWindow(), PREVIEW_PLACEMENT);
    }

    status_ = new QLabel(QString::fromLatin1(TEXT_READY));
    status_->setObjectName(QStringLiteral("statusText"));
    statusBar()->addWidget(status_, 1);
    statusBar()->setSizeGripEnabled(true);
    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("progressBar"));
    progress_->setTextVisible(false);
    progress_->hide();
    PlaceProgressBar();

    show();
    if (preview_) {
        mdi_->setActiveSubWindow(preview_);
    }
    mdi_->setEnabled(false);
}

ChildFrame* FrameWindow::AddChild(ChildWindow* child, const ChildPlacement& placement) {
    auto* frame = new ChildFrame(child, [this] { return program_.frame.ExitConfirmed(); });
    frame->setWindowTitle(QString::fromLatin1(placement.title));
    mdi_->addSubWindow(frame);
    if (child->Permanent()) {
        frame->HideCloseBox();
    }
    const WindowId id = child->Id();
    windows_[id] = frame;
    connect(frame, &QObject::destroyed, this, [this, id, frame] {
        const auto found = windows_.find(id);
        if (found != windows_.end() && found->second == frame) {
            windows_.erase(found);
        }
    });
    frame->onClosing = [this, frame] {
        if (frame != active_) {
            return;
        }
        // The window active before it, chosen now: the MDI client activates one of its own
        // choosing as this one goes.
        QPointer<ChildFrame> previous = PreviouslyActive(frame);
        QTimer::singleShot(0, this, [this, previous] {
            ChildFrame* back = previous.data();
            if (back != nullptr && back->isVisible()) {
                mdi_->setActiveSubWindow(back);
                back->raise();
            }
        });
    };
    frame->setGeometry(placement.x, placement.y, placement.width, placement.height);
    frame->show();
    return frame;
}

ChildFrame* FrameWindow::CreateChild(const ChildWindowRequest& request) {
    ChildWindow* child = makeChildWindow ? makeChildWindow(request) : nullptr;
    if (!child) {
        return nullptr;
    }
    // The requested size is the outer one of a window with a 2-pixel border and a 28-pixel
    // caption: the client area gets what is left of it, whatever Qt's own frame takes.
    const QSize client(request.width - CAPTURE_FRAME_EXTRA_WIDTH,
                       request.height - CAPTURE_FRAME_EXTRA_HEIGHT);
    const bool defaultPlace = request.x == CW_USEDEFAULT || request.y == CW_USEDEFAULT;
    const QPoint place = defaultPlace
                             ? QPoint(20 * (windows_.size() % 8), 20 * (windows_.size() % 8))
                             : QPoint(request.x, request.y);
    ChildFrame* frame = AddChild(child, {"", place.x(), place.y(), request.width, request.height});
    frame->setWindowTitle(QString::fromStdString(request.title));
    const QSize margins = frame->size() - child->size();
    frame->resize(client + margins);
    mdi_->setActiveSubWindow(frame);
    return frame;
}

ChildFrame* FrameWindow::Window(WindowId id) const {
    const auto found = windows_.find(id);
    return found == windows_.end() ? nullptr : found->second;
}

void FrameWindow::ChildActivated(QMdiSubWindow* sub) {
    auto* frame = dynamic_cast<ChildFrame*>(sub);
    if (frame == active_) {
        return;
    }
    if (ChildFrame* previous = active_.data()) {
        previous->Child()->Activated(*this, false);
    }
    active_ = frame;
    if (frame) {
        std::erase(activationHistory_, QPointer<ChildFrame>(frame));
        activationHistory_.push_back(frame);
        frame->Child()->Activated(*this, true);
    } else {
        ShowMenu(MenuBar::Frame);
    }
}

ChildFrame* FrameWindow::PreviouslyActive(const ChildFrame* closing) {
    std::erase_if(activationHistory_,
                  [](const QPointer<ChildFrame>& frame) { return frame.isNull(); });
    for (auto it = activationHistory_.rbegin(); it != activationHistory_.rend(); ++it) {
        ChildFrame* frame = it->data();
        if (frame != nullptr && frame != closing && frame->isVisible()) {
            return frame;
        }
    }
    return nullptr;
}

ChildWindow* FrameWindow::ActiveChild() const {
    return ChildOf(mdi_->activeSubWindow());
}

void FrameWindow::Command(int id) {
    program_.frame.Command(id, *this);
    if (afterEvent) {
        afterEvent();
    }
}

bool FrameWindow::ExitConfirmed() const {
    return program_.frame.ExitConfirmed();
}

std::vector<WindowId> FrameWindow::Children() const {
    std::vector<WindowId> children;
    for (QMdiSubWindow* sub : mdi_->subWindowList()) {
        if (const ChildWindow* child = ChildOf(sub)) {
            children.push_back(child->Id());
        }
    }
    return children;
}

void FrameWindow::Restore(WindowId window) {
    ChildFrame* frame = Window(window);
    if (frame != nullptr && frame->isMinimized()) {
        frame->showNormal();
    }
}

bool FrameWindow::QueryClose(WindowId window) {
    ChildFrame* frame = Window(window);
    return frame == nullptr || frame->Child()->QueryClose();
}

void FrameWindow::CloseAgreed(WindowId window) {
    ChildFrame* frame = Window(window);
    if (frame == nullptr) {
        return;
    }
    if (frame == preview_) {
        preview_ = nullptr;
    }
    if (frame == liveImage_) {
        liveImage_ = nullptr;
    }
    frame->CloseAgreed();
}

void FrameWindow::ActiveChildCommand(int command) {
    if (ChildWindow* child = ActiveChild()) {
        child->Command(command);
    }
}

void FrameWindow::ShowOpenDialog() {
    if (openFile) {
        openFile();
    }
}

void FrameWindow::ShowComSetup() {
    ComSetupContents contents = ComSetupDialogContents(program_.link);
    const std::array<int, 4> ports = {PORT_COM1, PORT_COM2, PORT_COM3, PORT_COM4};
    for (std::size_t i = 0; i < ports.size(); ++i) {
        contents.devicePaths[i] = program_.ports.line.DeviceName(ports[i]);
    }
    ComSetupDialog dialog(this, contents);
    dialog.exec();
}

void FrameWindow::ShowAbout() {
    AboutDialog dialog(this);
    dialog.exec();
}

void FrameWindow::closeEvent(QCloseEvent* event) {
    if (shutDown_) {
        event->accept();
        return;
    }
    if (!program_.frame.Close(*this)) {
        event->ignore();
        return;
    }
    // The frame goes: shut the program down.
    ShutDown();
    event->accept();
}

void FrameWindow::ShutDown() {
    if (shutDown_) {
        return;
    }
    // The frame's place is kept for the next start.
    shutDown_ = true;
    program_.settings.framePlacement = Placement();
    if (help_) {
        help_->close();
    }
    program_.Shutdown();
    if (afterEvent) {
        afterEvent();
    }
}

void FrameWindow::ApplyPlacement(const FramePlacement& placement) {
    QRect wanted(placement.x, placement.y, placement.width, placement.height);
    // A screen may have gone since: the frame is kept within one that is there.
    const QScreen* screen = QGuiApplication::screenAt(wanted.center());
    if (!screen) {
        screen = QGuiApplication::primaryScreen();
    }
    if (screen) {
        const QRect area = screen->availableGeometry();
        wanted.setSize(wanted.size().boundedTo(area.size()));
        wanted.moveLeft(std::clamp(wanted.left(), area.left(), area.right() - wanted.width() + 1));
        wanted.moveTop(std::clamp(wanted.top(), area.top(), area.bottom() - wanted.height() + 1));
    }
    setGeometry(wanted);
    if (placement.maximised) {
        setWindowState(windowState() | Qt::WindowMaximized);
    }
}

FramePlacement FrameWindow::Placement() const {
    const QRect normal = isMaximized() ? normalGeometry() : geometry();
    return {normal.x(), normal.y(), normal.width(), normal.height(), isMaximized()};
}

void FrameWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    PlaceProgressBar();
}

void FrameWindow::PlaceProgressBar() {
    if (progress_) {
        progress_->setGeometry(PROGRESS_X, height() - PROGRESS_BOTTOM_OFFSET, PROGRESS_WIDTH,
                               PROGRESS_HEIGHT);
        progress_->raise();
    }
}

const MenuWidgets& FrameWindow::CurrentMenu() const {
    return Menu(currentMenu_);
}

const MenuWidgets& FrameWindow::Menu(MenuBar kind) const {
    return menus_.at(MenuBarIndex(kind == MenuBar::Current ? currentMenu_ : kind));
}

void FrameWindow::ShowMenu(MenuBar kind) {
    if (kind == MenuBar::Current) {
        return;
    }
    currentMenu_ = kind;
    QMenuBar* bar = menuBar();
    bar->clear();
    for (QMenu* popup : Menu(kind).popups) {
        bar->addMenu(popup);
    }
}

void FrameWindow::FillWindowList(QMenu* popup) {
    for (QAction* action : popup->actions()) {
        if (action->property("windowList").toBool()) {
            popup->removeAction(action);
            action->deleteLater();
        }
    }
    const QList<QMdiSubWindow*> children = mdi_->subWindowList();
    if (children.isEmpty()) {
        return;
    }
    QAction* separator = popup->addSeparator();
    separator->setProperty("windowList", true);
    int number = 0;
    for (QMdiSubWindow* sub : children) {
        QAction* item =
            popup->addAction(QStringLiteral("&%1 %2").arg(number + 1).arg(sub->windowTitle()));
        item->setProperty("windowList", true);
        item->setData(FIRST_CHILD_ID + number);
        item->setCheckable(true);
        item->setChecked(sub == mdi_->activeSubWindow());
        QPointer<QMdiSubWindow> target(sub);
        connect(item, &QAction::triggered, this, [this, target] {
            if (target) {
                mdi_->setActiveSubWindow(target);
            }
        });
        ++number;
    }
}

void FrameWindow::SetStatusText(std::string_view text) {
    if (status_) {
        status_->setText(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
        if (onStatusText) {
            onStatusText(status_->text());
        }
    }
}

QString FrameWindow::StatusText() const {
    return status_ ? status_->text() : QString();
}

void FrameWindow::ShowHelp(int context) {
    const auto file = FindHelpFile(program_.StartDirectory, program_.environment.programDirectory);
    if (!file) {
        const std::string text = "The help file " + std::string(HELP_FILE_NAME) +
                                 " was not found in " + program_.StartDirectory.string() + ".";
        shell_.MessageBox(text, "ERROR", MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    if (!help_) {
        help_ = std::make_unique<HelpWindow>();
    }
    help_->Show(*file, context);
}

}  // namespace fotolyx::gui
