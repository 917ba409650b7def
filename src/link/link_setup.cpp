#include "link/link_setup.h"

#include <algorithm>

namespace fotolyx {

namespace {

constexpr std::array<int, 4> SCAN_ORDER = {PORT_COM1, PORT_COM2, PORT_COM3, PORT_COM4};

// The speeds tried after the identification, fastest first, with the request for each. Phases
// 2 and 3 belong to the first rung (2: switch the line, 3: wait for READY at that speed), 4 and 5
// to the second, 6 and 7 to the third.
struct SpeedRung {
    std::uint32_t baud;
    std::uint8_t request;
};
constexpr std::array<SpeedRung, 3> SPEED_LADDER = {{
    {BAUD_115200, SPEED_115200},
    {BAUD_57600, SPEED_57600},
    {BAUD_19200, SPEED_19200},
}};

std::optional<std::size_t> RungOf(std::uint8_t phase) {
    if (phase < 2 || phase > 1 + 2 * SPEED_LADDER.size()) {
        return std::nullopt;
    }
    return (phase - 2) / 2;
}

// The models the program works with, and the variant each stands for.
struct Model {
    std::string_view code;
    std::uint8_t variant;
};
constexpr std::array<Model, 2> MODELS = {{{"462", 0}, {"318", 1}}};

bool SwitchesLine(std::uint8_t phase) {
    return phase % 2 == 0;
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
    // What COM SETUP shows is always the speed the line runs at.
    link_.CurrentBaudRate = baud;
    if (!written && reportFault) {
        shell_.MessageBox(TEXT_SET_COMM_STATE_FAULT, CAPTION_COM_PORT_ERROR, MB_ICONEXCLAMATION);
    }
}

void LinkSetup::OpenPort() {
    timers_.KillTimer(FRAME_WINDOW, FRAME_TIMER_PORT_OPEN);
    awaitingModeAnswer_ = false;
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
    if (awaitingModeAnswer_) {
        // The camera confirmed a speed and switched to it, but its mode answer never came:
        // the lower speeds would reach it garbled. Start over the way a re-set-up does.
        RecoverLostModeAnswer();
        return;
    }
    if (link_.SetupPhase == 1) {
        // No identification on this port: on to the next one, or ask the user after the last.
        line_.Close();
        const auto* current = std::find(SCAN_ORDER.begin(), SCAN_ORDER.end(), link_.SelectedPort);
        if (current == SCAN_ORDER.end() || current + 1 == SCAN_ORDER.end()) {
            shell_.ShowLinkDialog(LinkDialog::ComReconnect);
            return;
        }
        link_.SelectedPort = *(current + 1);
        link_.ReceiveCount = 0;
        timers_.StartTimer(FRAME_WINDOW, FRAME_TIMER_PORT_OPEN, PORT_OPEN_DELAY_MS);
        return;
    }
    const auto rung = RungOf(link_.SetupPhase);
    if (!rung) {
        return;
    }
    if (SwitchesLine(link_.SetupPhase)) {
        SetLineSpeed(SPEED_LADDER[*rung].baud, *rung == 0);
        timers_.StartTimer(FRAME_WINDOW, FRAME_TIMER_SETUP_STEP, SETUP_ANSWER_MS);
        ++link_.SetupPhase;
        return;
    }
    if (*rung + 1 < SPEED_LADDER.size()) {
        // No READY at this speed: ask for the next lower one, at 9600.
        line_.Purge();
        link_.ReceiveCount = 0;
        SetLineSpeed(BAUD_9600);
        Write(SPEED_LADDER[*rung + 1].request);
        timers_.StartTimer(FRAME_WINDOW, FRAME_TIMER_SETUP_STEP, SPEED_SWITCH_MS);
        ++link_.SetupPhase;
        return;
    }
    // The slowest speed did not answer either: a dead end, the phase stays.
    shell_.MessageBox(TEXT_MINIMUM_SPEED, CAPTION_CONNECT_ERROR, MB_ICONEXCLAMATION);
    SetLineSpeed(BAUD_9600);
}

void LinkSetup::HandlePacket() {
    const Packet packet = link_.ReceiveBuffer;
    if (link_.SetupPhase == 1) {
        HandleIdentification(packet);
        return;
    }
    const auto rung = RungOf(link_.SetupPhase);
    if (!rung || SwitchesLine(link_.SetupPhase)) {
        return;  // the line is being switched: nothing is expected
    }
    if (!IsValidSetupPacket(packet)) {
        if (awaitingModeAnswer_) {
            // The mode answer arrived garbled; the camera will not send it again.
            timers_.KillTimer(FRAME_WINDOW, FRAME_TIMER_SETUP_STEP);
            RecoverLostModeAnswer();
            return;
        }
        SetLineSpeed(BAUD_9600);  // garbled: the running timer takes the next step
        return;
    }
    HandleSpeedAnswer(packet, SPEED_LADDER[*rung].baud);
}

void LinkSetup::HandleIdentification(const Packet& packet) {
    // The camera's own photo button is no answer to IDENTIFY.
    if (!IsValidSetupPacket(packet) || packet[STATUS_CODE_OFFSET] == CAMERA_NOTICE) {
        return;
    }
    const Identification identification = ReadIdentification(packet);
    const std::string_view code(identification.modelCode.data(), identification.modelCode.size());
    const auto* model = std::find_if(MODELS.begin(), MODELS.end(),
                                     [code](const Model& known) { return known.code == code; });
    if (model == MODELS.end()) {
        timers_.KillTimer(FRAME_WINDOW, FRAME_TIMER_SETUP_STEP);
        shell_.MessageBox(TEXT_WRONG_MODEL, CAPTION_WARNING, MB_ICONEXCLAMATION);
        shell_.SetStatusText(TEXT_READY);
        return;
    }
    link_.ModelVariant = model->variant;
    link_.IdentifiedModelCode = identification.modelCode;
    link_.IdentifiedValue = identification.value;
    link_.IdentifiedPictureCount = identification.pictureCount;
    link_.SetupPhase = 2;
    Write(SPEED_LADDER[0].request);
    timers_.StartTimer(FRAME_WINDOW, FRAME_TIMER_SETUP_STEP, SPEED_SWITCH_MS);
}

void LinkSetup::RecoverLostModeAnswer() {
    awaitingModeAnswer_ = false;
    // RESET_LINK goes out at the speed the camera was confirmed at; the re-set-up then brings
    // the line back to 9600 and identifies again on the same port.
    link_.ReceiveCount = 0;
    StartResetup();
}

void LinkSetup::HandleSpeedAnswer(const Packet& packet, std::uint32_t testedBaud) {
    const std::uint8_t code = packet[STATUS_CODE_OFFSET];
    if (code == MODE_CAMERA || code == MODE_VCR || code == NO_CARD) {
        awaitingModeAnswer_ = false;
    }
    switch (code) {
        case READY:
            link_.CurrentBaudRate = testedBaud;
            Write(SPEED_CONFIRM);
            // The mode answer is awaited like every other; a camera that stays silent now is
            // set up afresh (RecoverLostModeAnswer).
            awaitingModeAnswer_ = true;
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
    awaitingModeAnswer_ = false;
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
    awaitingModeAnswer_ = false;
    handOver_.CloseForReconnect();
    shell_.SetStatusText(TEXT_READY);
    line_.Purge();
    link_.ResetupPending = 1;
    link_.TransferMode = TRANSFER_INDEX;
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
        // The user gave the link up: nothing is proceeding any more.
        shell_.SetStatusText(TEXT_READY);
    }
}

}  // namespace fotolyx
