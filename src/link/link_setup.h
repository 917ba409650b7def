#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "link/link_hand_over.h"
#include "link/link_state.h"
#include "link/receiver.h"
#include "ports/messages.h"
#include "ports/serial_line.h"
#include "ports/shell.h"
#include "ports/timers.h"

namespace fotolyx {

// The frame's timers of the link.
inline constexpr int FRAME_TIMER_SETUP_STEP = 1;
inline constexpr int FRAME_TIMER_PORT_OPEN = 2;
inline constexpr int FRAME_TIMER_RESETUP_PREPARE = 3;
inline constexpr int FRAME_TIMER_RESETUP_IDENTIFY = 4;

inline constexpr int SETUP_ANSWER_MS = 800;
inline constexpr int SPEED_SWITCH_MS = 50;
inline constexpr int PORT_OPEN_DELAY_MS = 300;
inline constexpr int RESETUP_PREPARE_MS = 200;
inline constexpr int RESETUP_IDENTIFY_MS = 2500;
inline constexpr int RESETUP_IDENTIFY_NT_MS = 3000;

inline constexpr int HELP_CONTEXT_DISCONNECT = 1;
inline constexpr int HELP_CONTEXT_RECONNECT = 2;

// What the read-only COM SETUP dialog shows: nothing during a port scan, else the port in use
// and the speed.
struct ComSetupContents {
    std::optional<int> checkedPort;
    std::string baudRateText;
    std::array<std::string, 4> devicePaths;  // what COM1..COM4 open, shown beside their names
};
ComSetupContents ComSetupDialogContents(const LinkState& link);

// The connection set-up: port opening and scan, identification, speed negotiation and the mode
// answer, the re-set-up after RESET_LINK, and the buttons of the three link dialogs.
class LinkSetup {
  public:
    LinkSetup(LinkState& link, SerialLine& line, Timers& timers, Shell& shell, Receiver& receiver,
              LinkHandOver& handOver, const bool& runningOnNt)
        : link_(link),
          line_(line),
          timers_(timers),
          shell_(shell),
          receiver_(receiver),
          handOver_(handOver),
          runningOnNt_(runningOnNt) {}

    // Routes the frame's timers 1 to 4; false for any other id.
    bool FrameTimer(int id);

    // Frame timer 2: open the selected port and start identifying.
    void OpenPort();
    // Frame timer 1: the set-up step of the current phase.
    void SetupStep();
    // The set-up handler: one complete message in the ReceiveBuffer while SetupPhase is not 0.
    void HandlePacket();
    // Takes the link down and sets it up again on the same port: SetupPhase 1, RESET_LINK, and
    // 200 ms later the re-set-up (Reload and Reconnect).
    void StartResetup();
    void ResetupPrepare();   // frame timer 3
    void ResetupIdentify();  // frame timer 4

    // Opened by the watchdogs when the line stays silent.
    void OpenDisconnectDialog();

    // Buttons of COM_RECONNECT.
    void ReconnectRetry();
    void ReconnectCancel();
    void ReconnectHelp();
    // Buttons of COM_DISCONNECT.
    void DisconnectReconnect();
    void DisconnectCancel();
    void DisconnectHelp();
    // Buttons of COM_CANCELOK.
    void CancelOkOk();
    void CancelOkCancel();

    std::optional<LineOpenResult> LastOpenResult() const { return lastOpenResult_; }

  private:
    void SetLineSpeed(std::uint32_t baud, bool reportFault = false);
    void Write(std::uint8_t byte);
    void HandleIdentification(const Packet& packet);
    void HandleSpeedAnswer(const Packet& packet, std::uint32_t testedBaud);
    void ModeCamera();
    void RecoverLostModeAnswer();
    void ModeWarning(const char* text, unsigned icon);
    void EndCancelOk(bool confirmed);

    LinkState& link_;
    SerialLine& line_;
    Timers& timers_;
    Shell& shell_;
    Receiver& receiver_;
    LinkHandOver& handOver_;
    const bool& runningOnNt_;
    std::optional<LineOpenResult> lastOpenResult_;
    std::optional<LinkDialog> cancelOkParent_;
    // SPEED_CONFIRM went out: the camera runs at the confirmed speed and its mode answer is due.
    bool awaitingModeAnswer_ = false;
};

}  // namespace fotolyx
