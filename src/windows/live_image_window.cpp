#include "windows/live_image_window.h"

#include <algorithm>
#include <cstring>

#include "link/link_setup.h"

namespace fotolyx {

namespace {

constexpr std::uint8_t MID_GREY = 0x80;

// The photo button advances one step on every selection change, whatever the state says.
enum class PhotoEffect { StopLive, StartPhoto, CancelPhoto, EndCancel };
struct PhotoStep {
    std::uint32_t bitmap;
    std::uint32_t next;
    std::uint8_t command;
    PhotoEffect effect;
};
constexpr PhotoStep PHOTO_STEPS[] = {
    {BITMAP_CAPTURE, BITMAP_CAPTURE_PRESSED, LIVE_STOP, PhotoEffect::StopLive},
    {BITMAP_CAPTURE_PRESSED, BITMAP_CANCEL, PHOTO_START, PhotoEffect::StartPhoto},
    {BITMAP_CANCEL, BITMAP_CANCEL_PRESSED, PHOTO_STOP, PhotoEffect::CancelPhoto},
    {BITMAP_CANCEL_PRESSED, BITMAP_CAPTURE, PHOTO_STOP, PhotoEffect::EndCancel},
};

const PhotoStep& PhotoStepFrom(std::uint32_t bitmap) {
    const auto* step = std::find_if(std::begin(PHOTO_STEPS), std::end(PHOTO_STEPS),
                                    [bitmap](const PhotoStep& s) { return s.bitmap == bitmap; });
    return step != std::end(PHOTO_STEPS) ? *step : PHOTO_STEPS[0];
}

// The large photo as the window shows it: x from 5 to 325, y from 155 to 395, inclusive.
bool InPhoto(int x, int y) {
    return x >= 5 && x <= 325 && y >= 155 && y <= 395;
}

PictureArea AreaOf(const Rect& rect) {
    return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

}  // namespace

LivePicturePlacement LivePreviewPlacement(std::uint8_t modelVariant) {
    const std::int32_t width = modelVariant == 1 ? 120 : LIVE_VIEW_WIDTH;
    return {{0, 0, width, LIVE_VIEW_HEIGHT}, AreaOf(LIVE_PREVIEW_RECT)};
}

LivePicturePlacement LivePhotoPlacement(std::uint8_t modelVariant) {
    const PictureArea source = modelVariant == 1 ? PictureArea{4, 0, 504, PHOTO_HEIGHT}
                                                 : PictureArea{0, 0, PHOTO_WIDTH, PHOTO_HEIGHT};
    return {source, AreaOf(LIVE_PHOTO_RECT)};
}

LiveImageWindow::LiveImageWindow(LiveState& live, LiveWindowPorts ports)
    : live_(live),
      ports_(std::move(ports)),
      watchdog_(WatchdogConfig{
                    LIVE_IMAGE_WINDOW, LIVE_WATCHDOG_FIRST_MS, LIVE_WATCHDOG_RUNNING_MS,
                    [this] { return live_.LiveViewRunning != 0 || live_.LivePhotoRunning != 0; },
                    // A frame request counts as traffic for one tick only: one that has had
                    // no answer for a whole period was lost, and the line is silent.
                    [this] { return live_.LiveFramePending != 0 && ++requestTicks_ < 2; },
                    [this] {
                        ButtonNotify(LIVE_BUTTON_PREVIEW, true);
                        if (ports_.activatePreview) {
                            ports_.activatePreview();
                        }
                        ports_.shell.EnableMdiClient(false);
                    },
                    true},
                ports_.link, ports_.line, ports_.timers, [this] {
                    if (ports_.openDisconnectDialog) {
                        ports_.openDisconnectDialog();
                    }
                }) {}

void LiveImageWindow::Write(std::uint8_t byte) {
    ports_.line.Write({&byte, 1});
}

void LiveImageWindow::WriteCommand(std::uint8_t byte) {
    if (ports_.link.SetupPhase == 0) {
        Write(byte);
    }
}

void LiveImageWindow::ButtonNotify(int id, bool selected) {
    if (id == LIVE_BUTTON_PREVIEW) {
        PreviewButton(selected);
    } else if (id == LIVE_BUTTON_PHOTO) {
        PhotoButton();
    }
}

void LiveImageWindow::PreviewButton(bool selected) {
    if (live_.LiveFramePending != 0 && selected) {
        // A frame has just been asked for: the press takes effect once it has had its answer.
        // A release changes nothing, so it defers nothing either (a release that came while a
        // frame was pending would otherwise toggle the live view on its own).
        ports_.timers.StartTimer(LIVE_IMAGE_WINDOW, LIVE_TIMER_DEFERRED_PREVIEW,
                                 DEFERRED_PREVIEW_MS);
        return;
    }
    if (live_.PhotoButtonBitmap == BITMAP_CANCEL || !selected) {
        return;
    }
    live_.LivePacketNumber = 0;
    if (live_.PreviewButtonBitmap != BITMAP_PREVIEW_ON) {
        live_.PreviewButtonBitmap = BITMAP_PREVIEW_ON;
        ports_.link.TransferMode = TRANSFER_LIVE_VIEW;
        live_.LiveViewRunning = 1;
        watchdog_.Arm();
        ports_.shell.SetStatusText(TEXT_RECEIVE_LIVE);
        ports_.link.WaitingForData = 1;
        WriteCommand(LIVE_START);
        live_.LiveFrameInFlight = ports_.link.SetupPhase == 0 ? 1 : 0;
    } else {
        live_.PreviewButtonBitmap = BITMAP_PREVIEW_OFF;
        live_.LiveViewRunning = 0;
        live_.LiveFrameInFlight = 0;
        ports_.shell.SetStatusText(TEXT_READY);
        WriteCommand(LIVE_STOP);
    }
}

void LiveImageWindow::PhotoButton() {
    const PhotoStep& step = PhotoStepFrom(live_.PhotoButtonBitmap);
    live_.LivePacketNumber = 0;
    switch (step.effect) {
        case PhotoEffect::StopLive:
            live_.LiveViewRunning = 0;
            break;
        case PhotoEffect::StartPhoto:
            ports_.line.Purge();
            // Whatever part of a message had arrived went with the purged queue.
            ports_.link.ReceiveCount = 0;
            watchdog_.Arm();
            ports_.link.TransferMode = TRANSFER_LIVE_PHOTO;
            live_.LivePhotoRunning = 1;
            ports_.shell.SetStatusText(TEXT_RECEIVE_LIVE);
            ports_.link.WaitingForData = 1;
            break;
        case PhotoEffect::CancelPhoto:
            live_.LivePhotoRunning = 0;
            break;
        case PhotoEffect::EndCancel:
            live_.LivePhotoRunning = 0;
            ports_.shell.SetStatusText(TEXT_READY);
            break;
    }
    live_.PhotoButtonBitmap = step.next;
    live_.PreviewButtonBitmap = BITMAP_PREVIEW_OFF;
    FillPhotoGrey();
    ports_.shell.InvalidateWindow(LIVE_IMAGE_WINDOW, LIVE_PHOTO_AREA_RECT, false);
    SetPhotoMenus(false);
    ports_.timers.KillTimer(LIVE_IMAGE_WINDOW, LIVE_TIMER_DEFERRED_PREVIEW);
    live_.LiveFramePending = 0;
    live_.LiveFrameInFlight = 0;
    WriteCommand(step.command);
}

void LiveImageWindow::FillPhotoGrey() {
    if (ports_.photo && ports_.photo->size() > INFO_HEADER_SIZE) {
        std::fill(ports_.photo->bytes().begin() + INFO_HEADER_SIZE, ports_.photo->bytes().end(),
                  MID_GREY);
    }
}

void LiveImageWindow::SetPhotoMenus(bool enabled) {
    live_.PhotoMenusEnabled = enabled;
    ports_.shell.EnableMenuItem(MenuBar::Current, CMD_LIVE_ZOOM, enabled);
    ports_.shell.EnableMenuItem(MenuBar::Current, CMD_SAVE_AS, enabled);
}

void LiveImageWindow::RequestFrame() {
    live_.LivePacketNumber = 0;
    Write(LIVE_START);
    live_.LiveFramePending = 1;
    live_.LiveFrameInFlight = 1;
    requestTicks_ = 0;
}

// The next frame is asked for once the previous one is complete or given up, however often the
// window paints in between.
void LiveImageWindow::Paint() {
    if (live_.LiveViewRunning != 0 && live_.LiveFrameInFlight == 0) {
        RequestFrame();
    }
}

void LiveImageWindow::Timer(int id) {
    switch (id) {
        case LIVE_TIMER_WATCHDOG:
            watchdog_.Tick();
            return;
        case LIVE_TIMER_NOTICE:
            NoticeTimer();
            return;
        case LIVE_TIMER_RESTART:
            ports_.timers.KillTimer(LIVE_IMAGE_WINDOW, LIVE_TIMER_RESTART);
            if (live_.LivePacketNumber == 0 && live_.LiveViewRunning != 0) {
                Write(LIVE_START);
                live_.LiveFrameInFlight = 1;
            }
            return;
        case LIVE_TIMER_DEFERRED_PREVIEW:
            ports_.timers.KillTimer(LIVE_IMAGE_WINDOW, LIVE_TIMER_DEFERRED_PREVIEW);
            ButtonNotify(LIVE_BUTTON_PREVIEW, true);
            ports_.shell.InvalidateWindow(LIVE_IMAGE_WINDOW, LIVE_PREVIEW_BUTTON_RECT, false);
            return;
        default:
            return;
    }
}

// The camera's own photo button: a press, then a release 200 ms later, as a click gives.
void LiveImageWindow::NoticeTimer() {
    ports_.timers.KillTimer(LIVE_IMAGE_WINDOW, LIVE_TIMER_NOTICE);
    if (live_.NoticeStep == 0) {
        ButtonNotify(LIVE_BUTTON_PHOTO, true);
        ports_.timers.StartTimer(LIVE_IMAGE_WINDOW, LIVE_TIMER_NOTICE, NOTICE_RELEASE_MS);
        live_.NoticeStep = 1;
        return;
    }
    ButtonNotify(LIVE_BUTTON_PHOTO, false);
    live_.NoticeStep = 0;
    ports_.shell.InvalidateWindow(LIVE_IMAGE_WINDOW, LIVE_PHOTO_BUTTON_RECT, false);
}

bool LiveImageWindow::CopyPhotoToWorkImage(bool forSaving) {
    if (!ports_.photo || !ports_.workImage) {
        ports_.shell.MessageBox(TEXT_NOT_ENOUGH_MEMORY, CAPTION_GLOBAL_MEMORY, MB_ICONEXCLAMATION);
        return false;
    }
    const DibBlock& photo = *ports_.photo;
    DibBlock& work = *ports_.workImage;
    if (ports_.link.ModelVariant == 1) {
        return forSaving ? SaveWidenPhoto(photo, work) : ZoomWidenPhoto(photo, work);
    }
    std::memcpy(work.data(), photo.data(), std::min(work.size(), photo.size()));
    return true;
}

void LiveImageWindow::ZoomIn() {
    if (!live_.PhotoMenusEnabled || !CopyPhotoToWorkImage(false)) {
        return;
    }
    if (ports_.createOpenfileWindow) {
        ports_.createOpenfileWindow(LIVE_PHOTO_TITLE, true);
    }
}

void LiveImageWindow::SaveAs() {
    if (!live_.PhotoMenusEnabled || !ports_.saveContext || !CopyPhotoToWorkImage(true)) {
        return;
    }
    SaveContext context = ports_.saveContext();
    lastSave = SaveAsFlow(context, SaveWindowKind::Liveimage, *ports_.workImage,
                          ProposeTimeName(context.clock.Now()));
}

void LiveImageWindow::Command(int id) {
    if (id == CMD_LIVE_ZOOM) {
        ZoomIn();
    } else if (id == CMD_SAVE_AS) {
        SaveAs();
    }
}

void LiveImageWindow::LButtonDblClk(int x, int y) {
    if (InPhoto(x, y)) {
        ZoomIn();
    }
}

void LiveImageWindow::Size(bool maximised) {
    if (maximised) {
        StopBothActivities(false);
    }
}

void LiveImageWindow::MdiActivate(bool becomingActive) {
    active_ = becomingActive;
    const bool indexLoaded = ports_.indexLoaded && ports_.indexLoaded();
    if (becomingActive) {
        if (ports_.link.SetupPhase == 0 && indexLoaded) {
            ports_.link.TransferMode = TRANSFER_LIVE_VIEW;
        }
    } else if (indexLoaded) {
        StopBothActivities(true);
    }
}

bool LiveImageWindow::Close() const {
    return ports_.exitConfirmed && ports_.exitConfirmed();
}

void LiveImageWindow::StopBothActivities(bool eraseOnPhotoStop) {
    ports_.line.Purge();
    ports_.link.ReceiveCount = 0;
    live_.LivePacketNumber = 0;
    live_.LiveFrameInFlight = 0;
    ports_.link.RetryCount = 0;
    if (live_.LiveViewRunning != 0) {
        Write(LIVE_STOP);
        live_.LiveViewRunning = 0;
        live_.PreviewButtonBitmap = BITMAP_PREVIEW_OFF;
    }
    if (live_.LivePhotoRunning != 0) {
        Write(PHOTO_STOP);
        live_.LivePhotoRunning = 0;
        live_.PhotoButtonBitmap = BITMAP_CAPTURE;
        FillPhotoGrey();
        if (eraseOnPhotoStop) {
            ports_.shell.InvalidateWindow(LIVE_IMAGE_WINDOW, std::nullopt, true);
        }
    }
    ports_.shell.SetStatusText(TEXT_READY);
}

}  // namespace fotolyx
