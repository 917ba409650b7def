#include "camera_index/camera_pictures.h"

#include <algorithm>

#include "link/link_setup.h"
#include "link/protocol.h"

namespace fotolyx {

CameraPictures::CameraPictures(CameraPicturesContext context)
    : context_(std::move(context)),
      previewWatchdog_(WatchdogConfig{PREVIEW_WINDOW,
                                      INDEX_WATCHDOG_FIRST_MS,
                                      INDEX_WATCHDOG_RUNNING_MS,
                                      [this] { return index.IndexTransferActive; },
                                      {},
                                      {},
                                      true},
                       context_.link, context_.line, context_.timers,
                       context_.openDisconnectDialog) {}

CameraPictures::~CameraPictures() = default;

bool CameraPictures::TimerFired(WindowId window, int id) {
    if (window == PREVIEW_WINDOW) {
        preview.Timer(id);
        return true;
    }
    if (captures_.count(window) == 0) {
        return false;
    }
    if (id == WATCHDOG_TIMER && captureWatchdog_ && captureWatchdog_->config().window == window) {
        captureWatchdog_->Tick();
    } else {
        context_.timers.KillTimer(window, id);
    }
    return true;
}

PictureWindow* CameraPictures::Capture(WindowId window) {
    const auto found = captures_.find(window);
    return found == captures_.end() ? nullptr : found->second.get();
}

std::vector<WindowId> CameraPictures::CaptureWindows() const {
    std::vector<WindowId> ids;
    for (const auto& [id, window] : captures_) {
        ids.push_back(id);
    }
    return ids;
}

std::string CameraPictures::DefaultFileName(std::uint32_t position) const {
    return position < INDEX_POSITIONS ? index.entries[position].fileName : std::string();
}

void CameraPictures::CloseWindow(WindowId window) {
    PictureWindow* capture = Capture(window);
    if (capture == nullptr) {
        return;
    }
    if (!capture->Close()) {
        return;  // its changes were not saved: it stays
    }
    DestroyCapture(window);
}

void CameraPictures::DestroyCapture(WindowId window) {
    const auto found = captures_.find(window);
    if (found == captures_.end()) {
        return;
    }
    Shell& shell = context_.shell;
    if (download.CaptureWaiting && download.captureWindow == window) {
        // The picture never arrived: the download is given up and the selection reset.
        download.CaptureWaiting = false;
        download.blockCounter = static_cast<std::int32_t>(index.dataPacketCount + 1);
        selection.SelectedCount = 0;
        download.RemainingCount = 0;
        selection.CurrentPicture = NO_PICTURE;
        EndDownloadSequence();
        shell.EnableMenuItem(MenuBar::Current, CMD_DATA_IN, false);
        shell.EnableMenuItem(MenuBar::Current, CMD_DELETE_PAGE, false);
    }
    context_.timers.KillTimer(window, WATCHDOG_TIMER);
    if (captureWatchdog_ && captureWatchdog_->config().window == window) {
        captureWatchdog_.reset();
    }
    if (!context_.trueColourDisplay && found->second->palette()) {
        context_.screenPalette.reset();
    }
    captures_.erase(found);
    shell.DestroyChildWindow(window);
}

void CameraPictures::AfterSaveAs(WindowId window) {
    if (!download.SaveAfterDownload) {
        return;
    }
    CloseWindow(window);
    download.SaveAfterDownload = false;
    if (download.RemainingCount != 0) {
        download.SaveAfterDownload = true;
        DataIn();
    }
}

void CameraPictures::ShowPleaseWait(PleaseWait dialog) {
    pleaseWait_ = dialog;
    context_.shell.ShowPleaseWait(dialog);
}

void CameraPictures::EndPleaseWait() {
    if (pleaseWait_) {
        const PleaseWait dialog = *pleaseWait_;
        pleaseWait_.reset();
        context_.shell.EndPleaseWait(dialog);
    }
}

void CameraPictures::PleaseWaitClosed(PleaseWait dialog) {
    if (pleaseWait_ == dialog) {
        pleaseWait_.reset();
    }
    if (dialog == PleaseWait::DataTrans && download.CaptureWaiting) {
        download.SaveAfterDownload = false;
        DestroyCapture(download.captureWindow);
        context_.shell.InvalidateWindow(PREVIEW_WINDOW, std::nullopt, true);
    } else if (dialog == PleaseWait::DataTrans && download.RemainingCount != 0) {
        // Closed in the pause between two pictures: no further picture starts.
        EndDownloadSequence();
    }
}

void CameraPictures::DeletePage() {
    Shell& shell = context_.shell;
    // Only marked pictures are deleted: a current picture the user deselected is kept, and
    // with nothing marked nothing happens.
    const auto target = MarkedTarget();
    if (selection.CurrentPicture == NO_PICTURE || !target) {
        return;
    }
    if (shell.MessageBox(TEXT_DELETE_PAGE, CAPTION_DELETE_PAGE, MB_OKCANCEL | MB_ICONQUESTION) !=
        IDOK) {
        return;
    }
    const std::size_t limit = std::min<std::size_t>(index.receivedCount, INDEX_POSITIONS);
    index.DeleteSession = true;
    index.CommandStep = 5;
    download.TargetNumber = static_cast<std::uint16_t>(*target);
    download.RemainingCount = static_cast<std::uint16_t>(std::count(
        selection.SelectionMark.begin(), selection.SelectionMark.begin() + limit, MARK_SELECTED));
    context_.link.TransferMode = TRANSFER_INDEX;
    Write(DELETE_BEGIN);
    pleaseWait_ = PleaseWait::PeraseProc;
    shell.ShowPleaseWait(PleaseWait::PeraseProc);
}

void CameraPictures::DeleteAll() {
    Shell& shell = context_.shell;
    if (shell.MessageBox(TEXT_DELETE_ALL, CAPTION_DELETE_ALL, MB_OKCANCEL | MB_ICONQUESTION) !=
        IDOK) {
        return;
    }
    const std::size_t count = std::min<std::size_t>(index.reportedCount, INDEX_POSITIONS);
    std::fill_n(selection.SelectionMark.begin(), count, MARK_DELETE);
    context_.link.TransferMode = TRANSFER_INDEX;
    Write(ERASE_ALL);
    pleaseWait_ = PleaseWait::PeraseProc;
    shell.ShowPleaseWait(PleaseWait::PeraseProc);
}

void CameraPictures::ResetTransferState() {
    LinkState& link = context_.link;
    link.ResetupPending = 1;
    link.TransferMode = TRANSFER_INDEX;
    link.SetupPhase = 1;
    link.ReceiveCount = 0;
    link.RetryCount = 0;
    link.ExpectedLength = PACKET_LENGTH;
    link.WaitingForData = 0;
    index.blockCounter = 0;
    index.thumbnailWriteOffset = 0;
    index.thumbnailTooLarge = false;
    index.receivedCount = 0;
    index.IndexTransferActive = false;
    index.CommandStep = 0;
    index.DeleteSession = false;
    download.blockCounter = 0;
    download.writeOffset = 0;
    download.overrun = false;
    download.CaptureWaiting = false;
    download.RemainingCount = 0;
    download.SaveAfterDownload = false;
    selection.CurrentPicture = NO_PICTURE;
    selection.TopRow = 0;
    selection.LastRow = 0;
    selection.SelectedCount = 0;
    context_.timers.KillTimer(PREVIEW_WINDOW, PREVIEW_TIMER_NEXT_DOWNLOAD);
    context_.timers.KillTimer(PREVIEW_WINDOW, PREVIEW_TIMER_QUIET_RESTART);
    quietRestart_.reset();
}

void CameraPictures::ClearSlotsAndTexts() {
    if (store) {
        for (std::uint32_t i = 0; i < store->SlotCount(); ++i) {
            store->ClearSlot(i);
        }
    }
    for (auto& entry : index.entries) {
        entry = PictureEntry{};
    }
}

void CameraPictures::Reload() {
    Shell& shell = context_.shell;
    if (shell.MessageBox(TEXT_RELOAD, CAPTION_RELOAD, MB_OKCANCEL | MB_ICONQUESTION) != IDOK) {
        return;
    }
    for (int id : {CMD_RELOAD, CMD_DATA_IN, CMD_DELETE_PAGE, CMD_SAVE_AS, CMD_DELETE_ALL}) {
        shell.EnableMenuItem(MenuBar::Current, id, false);
    }
    index.IndexLoaded = false;
    shell.SetStatusText(TEXT_READY);
    shell.ShowProgressBar(false);
    EndPleaseWait();
    context_.line.Purge();
    ResetTransferState();
    SetPreviewScrollBar(PREVIEW_NO_THUMB);
    ClearSlotsAndTexts();
    shell.InvalidateWindow(PREVIEW_WINDOW, std::nullopt, false);
    context_.startResetup();
}

void CameraPictures::CloseForReconnect() {
    Shell& shell = context_.shell;
    shell.EnableMenuItem(MenuBar::Preview, CMD_RELOAD, false);
    shell.EnableMenuItem(MenuBar::Preview, CMD_DELETE_ALL, false);
    index.IndexLoaded = false;
    shell.ShowProgressBar(false);
    for (const WindowId id : CaptureWindows()) {
        CloseWindow(id);
    }
    EndPleaseWait();
}

void CameraPictures::ResetForReconnect() {
    ResetTransferState();
    SetPreviewScrollBar(PREVIEW_NO_THUMB);
    ClearSlotsAndTexts();
    context_.shell.InvalidateWindow(PREVIEW_WINDOW, std::nullopt, false);
}

}  // namespace fotolyx
