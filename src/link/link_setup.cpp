#include "link/link_setup.h"

#include <algorithm>

namespace fotolyx {

namespace {

constexpr std::array<int, 4> SCAN_ORDER = {PORT_COM1, PORT_COM2, PORT_COM3, PORT_COM4};

// The speed a phase of the negotiation tests (3, 5, 7), 0 for the others.
std::uint32_t PhaseSpeed(std::uint8_t phase) {
    switch (phase) {
        case 2:
        case 3:
            return BAUD_115200;
        case 4:
        case 5:
            return BAUD_57600;
        case 6:
        case 7:
            return BAUD_19200;
        default:
            return 0;
    }
}

bool IsValidSetupPacket(const Packet& packet) {
    return packet[PACKET_KIND_OFFSET] == PACKET_STATUS && packet[TRAILER_OFFSET] == STATUS_TRAILER;
}

}  // namespace

ComSetupContents ComSetupDialogContents(const LinkState& link) {
    ComSetupContents contents;
    if (link.SetupPhase == 1) {
        return contents;
    }
    if (link.SelectedPort >= PORT_COM1 && link.SelectedPort <= PORT_COM4) {
        contents.checkedPort = link.SelectedPort;
    }
    contents.baudRateText = std::to_string(link.CurrentBaudRate);
    return contents;
}

bool LinkSetup::FrameTimer(int id) {
    switch (id) {
        case FRAME_TIMER_SETUP_STEP:
            SetupStep();
            return true;
        case FRAME_TIMER_PORT_OPEN:
            OpenPort();
            return true;
        case FRAME_TIMER_RESETUP_PREPARE:
            ResetupPrepare();
            return true;
        case FRAME_TIMER_RESETUP_IDENTIFY:
            ResetupIdentify();
            return true;
        default:
            return false;
    }
}

void LinkSetup::Write(std::uint8_t byte) {
    line_.Write({&byte, 1});
}

void LinkSetup::SetLineSpeed(std::uint32_t baud, bool reportFault) {
    const bool written = line_.SetBaudRate(baud);
    link_.LineSpeed = baud;
    if (!written && reportFault) {
        shell_.MessageBox(TEXT_SET_COMM_STATE_FAULT, CAPTION_COM_PORT_ERROR, MB_ICONEXCLAMATION);
    }
}

void LinkSetup::OpenPort() {
    timers_.KillTimer(FRAME_WINDOW, FRAME_TIMER_PORT_OPEN);
    line_.Close();
    lastOpenResult_ = line_.Open(link_.SelectedPort);
    if (*lastOpenResult_ != LineOpenResult::Opened) {
        timers_.StartTimer(FRAME_WINDOW, FRAME_TIMER_SETUP_STEP, SETUP_ANSWER_MS);
        return;
    }
    switch (line_.OpenSettingsFault()) {
        case LineSettingsFault::ReadFailed:
            shell_.MessageBox(TEXT_GET_COMM_STATE_FAULT, CAPTION_COM_PORT_ERROR,
                              MB_ICONEXCLAMATION);
            break;
        case LineSettingsFault::WriteFailed:
            shell_.MessageBox(TEXT_SET_COMM_STATE_FAULT, CAPTION_COM_PORT_ERROR,
                              MB_ICONEXCLAMATION);
            break;
        case LineSettingsFault::None:
            break;
    }
    link_.LineSpeed = BAUD_9600;
    line_.Purge();
    receiver_.LineOpened();
    Write(IDENTIFY);
    shell_.SetStatusText(TEXT_SETUP_PROCEEDING);
    timers_.StartTimer(FRAME_WINDOW, FRAME_TIMER_SETUP_STEP, SETUP_ANSWER_MS);
    link_.ReceiveCount = 0;
}

void LinkSetup::SetupStep() {
    timers_.KillTimer(FRAME_WINDOW, FRAME_TIMER_SETUP_STEP);
    switch (link_.SetupPhase) {
        case 1: {
            line_.Close();
            const auto* current =
                std::find(SCAN_ORDER.begin(), SCAN_ORDER.end(), link_.SelectedPort);
            if (current == SCAN_ORDER.end() || current + 1 == SCAN_ORDER.end()) {
                shell_.ShowLinkDialog(LinkDialog::ComReconnect);
                return;
            }
            link_.SelectedPort = *(current + 1);
            link_.ReceiveCount = 0;
            timers_.StartTimer(FRAME_WINDOW, FRAME_TIMER_PORT_OPEN, PORT_OPEN_DELAY_MS);
            return;
        }
        case 2:
        case 4:
        case 6:
            SetLineSpeed(PhaseSpeed(link_.SetupPhase), link_.SetupPhase == 2);
            timers_.StartTimer(FRAME_WINDOW, FRAME_TIMER_SETUP_STEP, SETUP_ANSWER_MS);
            ++link_.SetupPhase;
            return;
        case 3:
        case 5:
            line_.Purge();
            link_.ReceiveCount = 0;
            SetLineSpeed(BAUD_9600);
            Write(link_.SetupPhase == 3 ? SPEED_57600 : SPEED_19200);
            timers_.StartTimer(FRAME_WINDOW, FRAME_TIMER_SETUP_STEP, SPEED_SWITCH_MS);
            ++link_.SetupPhase;
            return;
        case 7:
            shell_.MessageBox(TEXT_MINIMUM_SPEED, CAPTION_CONNECT_ERROR, MB_ICONEXCLAMATION);
            SetLineSpeed(BAUD_9600);
            return;
        default:
            return;
    }
}

void LinkSetup::HandlePacket() {
    const Packet packet = link_.ReceiveBuffer;
    switch (link_.SetupPhase) {
        case 1: {
            if (!IsValidSetupPacket(packet)) {
                return;
            }
            const Identification identification = ReadIdentification(packet);
            const std::string_view model(identification.modelCode.data(), 3);
            if (model != "462" && model != "318") {
                timers_.KillTimer(FRAME_WINDOW, FRAME_TIMER_SETUP_STEP);
                shell_.MessageBox(TEXT_WRONG_MODEL, CAPTION_WARNING, MB_ICONEXCLAMATION);
                shell_.SetStatusText(TEXT_READY);
                return;
            }
            link_.ModelVariant = model == "318" ? 1 : 0;
            link_.IdentifiedModelCode = identification.modelCode;
            link_.IdentifiedValue = identification.value;
            link_.IdentifiedPictureCount = identification.pictureCount;
            link_.SetupPhase = 2;
            Write(SPEED_115200);
            timers_.StartTimer(FRAME_WINDOW, FRAME_TIMER_SETUP_STEP, SPEED_SWITCH_MS);
            return;
        }
        case 3:
        case 5:
        case 7:
            if (!IsValidSetupPacket(packet)) {
                SetLineSpeed(BAUD_9600);
                return;
            }
            HandleSpeedAnswer(packet);
            return;
        default:
            return;
    }
}

void LinkSetup::HandleSpeedAnswer(const Packet& packet) {
    switch (packet[STATUS_CODE_OFFSET]) {
        case READY:
            link_.CurrentBaudRate = PhaseSpeed(link_.SetupPhase);
            Write(SPEED_CONFIRM);
            // The mode answer is awaited like every other: a camera that falls silent now
            // leads on to the next lower speed instead of leaving the set-up hanging.
            timers_.StartTimer(FRAME_WINDOW, FRAME_TIMER_SETUP_STEP, SETUP_ANSWER_MS);
            return;
        case MODE_CAMERA:
            ModeCamera();
            return;
        case MODE_VCR:
            ModeWarning(TEXT_VCR_MODE, MB_OKCANCEL | MB_ICONEXCLAMATION);
            return;
        case NO_CARD:
            ModeWarning(TEXT_NO_CARD, MB_OKCANCEL | MB_ICONQUESTION);
            if (handOver_.ThumbnailStoreExists()) {
                handOver_.FreeThumbnailStore();
            }
            return;
        default:
            return;
    }
}

void LinkSetup::ModeCamera() {
    timers_.KillTimer(FRAME_WINDOW, FRAME_TIMER_SETUP_STEP);
    if (link_.ResetupPending != 0 && handOver_.ThumbnailStoreExists()) {
        handOver_.FreeThumbnailStore();
    }
    if (!handOver_.ThumbnailStoreExists()) {
        const std::uint32_t slots =
            ThumbnailStoreSlots(link_.IdentifiedValue, link_.IdentifiedPictureCount);
        if (!handOver_.CreateThumbnailStore(slots)) {
            shell_.MessageBox(TEXT_NOT_ENOUGH_MEMORY, CAPTION_GLOBAL_MEMORY, MB_ICONEXCLAMATION);
        }
    }
    link_.SavedLineSpeed = link_.LineSpeed;
    link_.SetupPhase = 0;
    link_.ResetupPending = 0;
    handOver_.StartIndexTransfer();
}

void LinkSetup::ModeWarning(const char* text, unsigned style) {
    // No set-up step may run while the user reads the warning.
    timers_.KillTimer(FRAME_WINDOW, FRAME_TIMER_SETUP_STEP);
    link_.SetupPhase = 1;
    SetLineSpeed(BAUD_9600);
    link_.CurrentBaudRate = BAUD_9600;
    if (shell_.MessageBox(text, CAPTION_WARNING, style) == IDOK) {
        Write(IDENTIFY);
        timers_.StartTimer(FRAME_WINDOW, FRAME_TIMER_SETUP_STEP, SETUP_ANSWER_MS);
        link_.ReceiveCount = 0;
    }
}

void LinkSetup::StartResetup() {
    link_.SetupPhase = 1;
    Write(RESET_LINK);
    timers_.StartTimer(FRAME_WINDOW, FRAME_TIMER_RESETUP_PREPARE, RESETUP_PREPARE_MS);
}

void LinkSetup::ResetupPrepare() {
    timers_.KillTimer(FRAME_WINDOW, FRAME_TIMER_RESETUP_PREPARE);
    handOver_.ActivatePreviewIfLiveActive();
    shell_.EnableMdiClient(false);
    SetLineSpeed(BAUD_9600);
    link_.CurrentBaudRate = BAUD_9600;
    timers_.StartTimer(FRAME_WINDOW, FRAME_TIMER_RESETUP_IDENTIFY,
                       runningOnNt_ ? RESETUP_IDENTIFY_NT_MS : RESETUP_IDENTIFY_MS);
}

void LinkSetup::ResetupIdentify() {
    timers_.KillTimer(FRAME_WINDOW, FRAME_TIMER_RESETUP_IDENTIFY);
    if (!line_.IsOpen() || receiver_.HungUp()) {
        // The device went away since it was opened: open it afresh, which identifies too.
        OpenPort();
        return;
    }
    line_.Purge();
    link_.ReceiveCount = 0;
    Write(IDENTIFY);
    timers_.StartTimer(FRAME_WINDOW, FRAME_TIMER_SETUP_STEP, SETUP_ANSWER_MS);
}

void LinkSetup::OpenDisconnectDialog() {
    shell_.ShowLinkDialog(LinkDialog::ComDisconnect);
}

void LinkSetup::ReconnectRetry() {
    // With or without a pending re-set-up the last port is closed by now: scan again from COM1.
    link_.SelectedPort = PORT_COM1;
    link_.SetupPhase = 1;
    timers_.StartTimer(FRAME_WINDOW, FRAME_TIMER_PORT_OPEN, PORT_OPEN_DELAY_MS);
    shell_.SetStatusText(TEXT_SETUP_PROCEEDING);
    shell_.EndLinkDialog(LinkDialog::ComReconnect);
}

void LinkSetup::ReconnectCancel() {
    cancelOkParent_ = LinkDialog::ComReconnect;
    shell_.ShowLinkDialog(LinkDialog::ComCancelOk);
}

void LinkSetup::ReconnectHelp() {
    shell_.ShowHelpContext(HELP_CONTEXT_RECONNECT);
}

void LinkSetup::DisconnectReconnect() {
    handOver_.CloseForReconnect();
    shell_.SetStatusText(TEXT_READY);
    line_.Purge();
    link_.ResetupPending = 1;
    link_.TransferMode = 0;
    link_.SetupPhase = 1;
    link_.ExpectedLength = PACKET_LENGTH;
    link_.ReceiveCount = 0;
    link_.RetryCount = 0;
    link_.WaitingForData = 0;
    handOver_.ResetForReconnect();
    Write(RESET_LINK);
    timers_.StartTimer(FRAME_WINDOW, FRAME_TIMER_RESETUP_PREPARE, RESETUP_PREPARE_MS);
    shell_.EndLinkDialog(LinkDialog::ComDisconnect);
}

void LinkSetup::DisconnectCancel() {
    cancelOkParent_ = LinkDialog::ComDisconnect;
    shell_.ShowLinkDialog(LinkDialog::ComCancelOk);
}

void LinkSetup::DisconnectHelp() {
    shell_.ShowHelpContext(HELP_CONTEXT_DISCONNECT);
}

void LinkSetup::CancelOkOk() {
    EndCancelOk(true);
}

void LinkSetup::CancelOkCancel() {
    EndCancelOk(false);
}

void LinkSetup::EndCancelOk(bool confirmed) {
    link_.CancelConfirmed = confirmed ? 1 : 0;
    shell_.EndLinkDialog(LinkDialog::ComCancelOk);
    const auto parent = cancelOkParent_;
    cancelOkParent_.reset();
    if (confirmed && parent) {
        shell_.EndLinkDialog(*parent);
    }
}

}  // namespace fotolyx
