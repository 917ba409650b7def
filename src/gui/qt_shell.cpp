#include "gui/qt_shell.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMessageBox>
#include <QMimeData>
#include <QStringList>

#include "gui/dib_image.h"
#include "gui/frame_window.h"
#include "gui/save_dialog.h"
#include "link/link_setup.h"

namespace fotolyx::gui {

namespace {

constexpr unsigned BUTTONS_MASK = 0x000F;
constexpr unsigned ICON_MASK = 0x00F0;

struct BoxButtons {
    unsigned style;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton escape;  // NoButton: Esc does nothing
};

constexpr BoxButtons BOX_BUTTONS[] = {
    {MB_OK, QMessageBox::Ok, QMessageBox::Ok},
    {MB_OKCANCEL, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel},
    {MB_YESNOCANCEL, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Cancel},
    {MB_YESNO, QMessageBox::Yes | QMessageBox::No, QMessageBox::NoButton},
};

struct BoxIcon {
    unsigned style;
    QMessageBox::Icon icon;
};

constexpr BoxIcon BOX_ICONS[] = {
    {MB_ICONHAND, QMessageBox::Critical},
    {MB_ICONQUESTION, QMessageBox::Question},
    {MB_ICONEXCLAMATION, QMessageBox::Warning},
    {MB_ICONINFORMATION, QMessageBox::Information},
};

int Answer(QMessageBox::StandardButton button) {
    switch (button) {
        case QMessageBox::Ok:
            return IDOK;
        case QMessageBox::Yes:
            return IDYES;
        case QMessageBox::No:
            return IDNO;
        default:
            return IDCANCEL;
    }
}

QString Text(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

QtShell::~QtShell() {
    for (auto& [dialog, window] : linkDialogs_) {
        delete window.data();
    }
    delete pleaseWait_.data();
}

void QtShell::Attach(FrameWindow* frame, LinkSetup* setup) {
    frame_ = frame;
    setup_ = setup;
}

int QtShell::MessageBox(std::string_view text, std::string_view caption, unsigned style) {
    const BoxButtons* buttons = &BOX_BUTTONS[0];
    for (const BoxButtons& candidate : BOX_BUTTONS) {
        if (candidate.style == (style & BUTTONS_MASK)) {
            buttons = &candidate;
        }
    }
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    for (const BoxIcon& candidate : BOX_ICONS) {
        if (candidate.style == (style & ICON_MASK)) {
            icon = candidate.icon;
        }
    }
    // A task-modal box has no owner.
    QWidget* owner = (style & MB_TASKMODAL) != 0 ? nullptr : frame_;
    QMessageBox box(icon, Text(caption), Text(text), buttons->buttons, owner);
    MakeModalToOwner(box);
    if (buttons->escape != QMessageBox::NoButton) {
        box.setEscapeButton(buttons->escape);
    }
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    return clicked ? Answer(box.standardButton(clicked)) : Answer(buttons->escape);
}

void QtShell::SetStatusText(std::string_view text) {
    if (frame_) {
        frame_->SetStatusText(text);
    }
}

std::optional<SaveDialogResult> QtShell::GetSaveFileName(const SaveDialogRequest& request) {
    return RunSaveDialog(frame_, request);
}

void QtShell::ShowLinkDialog(LinkDialog dialog) {
    if (!frame_ || !setup_) {
        return;
    }
    EndLinkDialog(dialog);
    LinkDialogContent content = LinkDialogContents(dialog, *setup_);
    if (dialog == LinkDialog::ComReconnect && reconnectNote) {
        reconnectNoteText_ = reconnectNote();
        if (!reconnectNoteText_.empty()) {
            content.texts.push_back(reconnectNoteText_.c_str());
        }
    }
    for (DialogButton& button : content.buttons) {
        button.action = [this, action = std::move(button.action)] {
            action();
            if (afterEvent) {
                afterEvent();
            }
        };
    }
    auto* window =
        new LinkDialogWindow(frame_, content.title, content.texts, std::move(content.buttons));
    window->setObjectName(QStringLiteral("linkDialog%1").arg(static_cast<int>(dialog)));
    linkDialogs_[dialog] = window;
    window->show();
}

void QtShell::EndLinkDialog(LinkDialog dialog) {
    const auto found = linkDialogs_.find(dialog);
    if (found == linkDialogs_.end()) {
        return;
    }
    if (found->second) {
        // Often called from one of the dialog's own buttons: it goes once that click is over.
        found->second->hide();
        found->second->deleteLater();
    }
    linkDialogs_.erase(found);
}

LinkDialogWindow* QtShell::OpenLinkDialog(LinkDialog dialog) const {
    const auto found = linkDialogs_.find(dialog);
    return found == linkDialogs_.end() ? nullptr : found->second.data();
}

void QtShell::EnableMdiClient(bool enabled) {
    if (frame_) {
        frame_->MdiArea()->setEnabled(enabled);
    }
}

void QtShell::ShowHelpContext(int context) {
    if (frame_) {
        frame_->ShowHelp(context);
    }
}

void QtShell::EnableMenuItem(MenuBar menu, int commandId, bool enabled) {
    if (frame_) {
        frame_->Menu(menu).EnableCommand(commandId, enabled);
    }
}

void QtShell::SetFrameMenu(MenuBar menu) {
    if (frame_) {
        frame_->ShowMenu(menu);
    }
}

void QtShell::CreateChildWindow(const ChildWindowRequest& request) {
    if (frame_) {
        frame_->CreateChild(request);
    }
}

void QtShell::ActivateChildWindow(WindowId window) {
    if (ChildFrame* child = frame_ ? frame_->Window(window) : nullptr) {
        frame_->MdiArea()->setActiveSubWindow(child);
    }
}

void QtShell::SetWindowTitle(WindowId window, std::string_view title) {
    if (ChildFrame* child = frame_ ? frame_->Window(window) : nullptr) {
        child->setWindowTitle(
            QString::fromLocal8Bit(title.data(), static_cast<qsizetype>(title.size())));
    }
}

void QtShell::DestroyChildWindow(WindowId window) {
    if (ChildFrame* child = frame_ ? frame_->Window(window) : nullptr) {
        child->CloseAgreed();
    }
}

void QtShell::InvalidateWindow(WindowId window, std::optional<Rect> area, bool) {
    if (ChildFrame* child = frame_ ? frame_->Window(window) : nullptr) {
        child->Child()->Invalidate(area);
    }
}

void QtShell::ScrollWindowContent(WindowId window, int dx, int dy) {
    if (ChildFrame* child = frame_ ? frame_->Window(window) : nullptr) {
        child->Child()->ScrollContent(dx, dy);
    }
}

void QtShell::SetScrollBar(WindowId window, ScrollBarKind bar, const ScrollBarState& state) {
    if (ChildFrame* child = frame_ ? frame_->Window(window) : nullptr) {
        child->Child()->SetScrollBar(bar, state);
    }
}

void QtShell::ShowPleaseWait(PleaseWait dialog) {
    if (PleaseWaitDialog* open = pleaseWait_.data()) {
        open->End();
    }
    auto* window = new PleaseWaitDialog(frame_, dialog);
    pleaseWait_ = window;
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->onUserClose = [this](PleaseWait closed) {
        pleaseWait_ = nullptr;
        if (pleaseWaitClosed) {
            pleaseWaitClosed(closed);
        }
        if (afterEvent) {
            afterEvent();
        }
    };
    window->show();
}

void QtShell::EndPleaseWait(PleaseWait dialog) {
    PleaseWaitDialog* open = pleaseWait_.data();
    if (open != nullptr && open->Kind() == dialog) {
        pleaseWait_ = nullptr;
        open->End();
    }
}

void QtShell::ShowProgressBar(bool shown) {
    if (frame_ && frame_->ProgressBar()) {
        frame_->ProgressBar()->setVisible(shown);
    }
}

void QtShell::SetProgressRange(int max) {
    if (frame_ && frame_->ProgressBar()) {
        frame_->ProgressBar()->setRange(0, max);
    }
}

void QtShell::SetProgressPos(int pos) {
    if (frame_ && frame_->ProgressBar()) {
        frame_->ProgressBar()->setValue(pos);
    }
}

bool QtShell::SetClipboardDib(std::vector<std::uint8_t> dib) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard) {
        return false;
    }
    const QImage image = DibToImage(dib);
    auto* data = new QMimeData;
    if (!image.isNull()) {
        data->setImageData(image);
    }
    data->setData(QStringLiteral("image/bmp"), BmpFileFromDib(dib));
    clipboard->setMimeData(data);
    return true;
}

}  // namespace fotolyx::gui
