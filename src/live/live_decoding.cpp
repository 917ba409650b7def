#include "live/live_decoding.h"

#include "link/link_setup.h"

namespace fotolyx {

void LiveHandlers::Write(std::uint8_t byte) {
    ports_.line.Write({&byte, 1});
}

// Eleven bad packets in a row may mean the packets no longer start where the receiver thinks
// (a byte was lost): what is queued is dropped, so the restarted unit is read from its start.
void LiveHandlers::Resynchronise() {
    ports_.line.Purge();
    ports_.link.ReceiveCount = 0;
}

bool LiveHandlers::IsCameraNotice(PacketKind kind) const {
    return kind == PacketKind::Status &&
           ports_.link.ReceiveBuffer[STATUS_CODE_OFFSET] == CAMERA_NOTICE;
}

void LiveHandlers::CameraNotice() {
    ports_.timers.StartTimer(ports_.activeChild(), LIVE_TIMER_NOTICE, NOTICE_DELAY_MS);
}

void LiveHandlers::LiveViewPacket() {
    LinkState& link = ports_.link;
    link.WaitingForData = 0;
    live_.LiveFramePending = 0;
    const PacketKind kind = ClassifyPacket(link.ReceiveBuffer, live_.LivePacketNumber);
    if (IsCameraNotice(kind)) {
        CameraNotice();
        return;
    }
    if (kind != PacketKind::GoodData || live_.LivePacketNumber >= LIVE_FRAME_PACKETS) {
        const RetryRule rule{live_.LiveViewRunning != 0 ? LIVE_STOP : RESTART};
        const RetryRule::Answer answer = rule.OnBadPacket(link.RetryCount);
        if (answer == RetryRule::Answer::Restart) {
            Resynchronise();
            Write(rule.AnswerByte(answer));
            live_.LivePacketNumber = 0;
            ports_.timers.StartTimer(ports_.activeChild(), LIVE_TIMER_RESTART,
                                     LIVE_RESTART_DELAY_MS);
        } else if (live_.LiveViewRunning != 0) {
            Write(NAK);
        }
        return;
    }
    LiveLine line;
    DecodeLiveLine(link.ReceiveBuffer, live_.LivePacketNumber, live_.chroma, line);
    if (ports_.preview) {
        PlaceLiveLine(*ports_.preview, live_.LivePacketNumber, line, live_.PreviousLine);
    } else {
        live_.PreviousLine = line;
    }
    ++live_.LivePacketNumber;
    link.RetryCount = 0;
    if (live_.LivePacketNumber == LIVE_FRAME_PACKETS) {
        live_.LivePacketNumber = 0;
        live_.LiveFrameInFlight = 0;
        ++live_.framesCompleted;
        ports_.shell.InvalidateWindow(ports_.activeChild(), LIVE_PREVIEW_RECT, false);
    } else if (live_.LiveViewRunning != 0) {
        Write(ACK);
    }
}

void LiveHandlers::LivePhotoPacket() {
    LinkState& link = ports_.link;
    link.WaitingForData = 0;
    const PacketKind kind = ClassifyPacket(link.ReceiveBuffer, live_.LivePacketNumber);
    if (IsCameraNotice(kind)) {
        CameraNotice();
        return;
    }
    if (kind != PacketKind::GoodData || live_.LivePacketNumber >= PHOTO_PACKETS) {
        const RetryRule rule{RESTART};
        const RetryRule::Answer answer = rule.OnBadPacket(link.RetryCount);
        if (answer == RetryRule::Answer::Restart) {
            Resynchronise();
            Write(RESTART);
            live_.LivePacketNumber = 0;
        } else if (live_.LivePhotoRunning != 0) {
            Write(NAK);
        }
        return;
    }
    if (ports_.photo) {
        AddPhotoPacket(link.ReceiveBuffer, live_.LivePacketNumber, live_.photoLine, *ports_.photo);
    }
    ++live_.LivePacketNumber;
    link.RetryCount = 0;
    if (live_.LivePacketNumber % PHOTO_INVALIDATE_PACKETS == 0) {
        ports_.shell.InvalidateWindow(ports_.activeChild(), LIVE_PHOTO_RECT, false);
    }
    if (live_.LivePacketNumber == PHOTO_PACKETS) {
        live_.LivePacketNumber = 0;
        live_.LivePhotoRunning = 0;
        live_.PhotoButtonBitmap = BITMAP_CAPTURE;
        ++live_.photosCompleted;
        ports_.shell.InvalidateWindow(ports_.activeChild(), LIVE_PHOTO_BUTTON_RECT, false);
        ports_.shell.SetStatusText(TEXT_READY);
        live_.PhotoMenusEnabled = true;
        ports_.shell.EnableMenuItem(MenuBar::Current, CMD_LIVE_ZOOM, true);
        ports_.shell.EnableMenuItem(MenuBar::Current, CMD_SAVE_AS, true);
    } else if (live_.LivePhotoRunning != 0) {
        Write(ACK);
    }
}

}  // namespace fotolyx
