#include <ctime>
#include <iostream>

#include "cli/cli.h"
#include "link/link_setup.h"

namespace fotolyx::cli {

int TerminalShell::MessageBox(std::string_view text, std::string_view caption, unsigned style) {
    std::cerr << caption << ": " << text << '\n';
    const unsigned buttons = style & 0x000F;
    return (buttons == MB_YESNO || buttons == MB_YESNOCANCEL) ? IDYES : IDOK;
}

void TerminalShell::SetStatusText(std::string_view) {}

std::optional<SaveDialogResult> TerminalShell::GetSaveFileName(const SaveDialogRequest&) {
    std::optional<SaveDialogResult> answer = std::move(nextSaveAnswer);
    nextSaveAnswer.reset();
    return answer;
}

void TerminalShell::ShowLinkDialog(LinkDialog dialog) {
    std::cerr << LinkDialogText(dialog) << '\n';
}

std::string LinkDialogText(LinkDialog dialog) {
    switch (dialog) {
        case LinkDialog::ComReconnect:
            return std::string(COM_RECONNECT_TITLE) + ": " + COM_RECONNECT_TEXT;
        case LinkDialog::ComDisconnect:
            return std::string(COM_DISCONNECT_TITLE) + ": " + COM_DISCONNECT_TEXT;
        case LinkDialog::ComCancelOk:
            return std::string(COM_CANCELOK_TITLE) + ": " + COM_CANCELOK_TEXT1 + ' ' +
                   COM_CANCELOK_TEXT2;
    }
    return {};
}

LocalTime SystemClock::Now() const {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
            local.tm_hour,        local.tm_min,     local.tm_sec};
}

HostEnvironment Context::Environment() const {
    HostEnvironment environment = HostEnvironment::FromProcess(true);
    if (!settingsFile.empty()) {
        environment.settingsFile = settingsFile;
    }
    return environment;
}

}  // namespace fotolyx::cli
