#pragma once

#include <QTextBrowser>
#include <filesystem>
#include <memory>
#include <optional>

namespace fotolyx::gui {

inline constexpr char HELP_FILE_NAME[] = "Fotlx.hlp";

// The help file: an HTML document named Fotlx.hlp, looked for in the start-up directory and
// then beside the program (where the build puts it), then in share/fotolyx beside the
// program's folder (where it is installed). None when none has it.
std::optional<std::filesystem::path> FindHelpFile(const std::filesystem::path& startDirectory,
                                                  const std::filesystem::path& programDirectory);

// The anchor of the help topic for a context number (0: the contents).
QString HelpAnchor(int context);

// A small window showing the help file at a topic.
class HelpWindow final : public QTextBrowser {
  public:
    HelpWindow();
    void Show(const std::filesystem::path& file, int context);
};

}  // namespace fotolyx::gui
