#include <ctime>
#include <iostream>

#include "cli/cli.h"

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

LocalTime SystemClock::Now() const {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
            local.tm_hour,        local.tm_min,     local.tm_sec};
}

}  // namespace fotolyx::cli
