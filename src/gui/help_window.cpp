#include "gui/help_window.h"

#include <QFile>
#include <QScrollBar>
#include <QUrl>
#include <system_error>

namespace fotolyx::gui {

std::optional<std::filesystem::path> FindHelpFile(const std::filesystem::path& startDirectory,
                                                  const std::filesystem::path& programDirectory) {
    // An installed program finds it in PREFIX/share/fotolyx beside PREFIX/bin.
    const std::filesystem::path installed =
        programDirectory.empty() ? programDirectory
                                 : programDirectory.parent_path() / "share" / "fotolyx";
    for (const auto& folder : {startDirectory, programDirectory, installed}) {
        const std::filesystem::path candidate = folder / HELP_FILE_NAME;
        std::error_code error;
        if (!folder.empty() && std::filesystem::is_regular_file(candidate, error)) {
            return candidate;
        }
    }
    return std::nullopt;
}

QString HelpAnchor(int context) {
    return context == 0 ? QStringLiteral("contents") : QStringLiteral("context-%1").arg(context);
}

HelpWindow::HelpWindow() {
    setWindowTitle(QStringLiteral("Fotolyx Help"));
    setOpenExternalLinks(true);
    resize(480, 420);
}

void HelpWindow::Show(const std::filesystem::path& file, int context) {
    QFile input(QString::fromStdString(file.string()));
    if (input.open(QIODevice::ReadOnly)) {
        setHtml(QString::fromUtf8(input.readAll()));
    }
    show();
    raise();
    activateWindow();
    if (context == 0) {
        verticalScrollBar()->setValue(0);  // the contents: the start of the document
    } else {
        scrollToAnchor(HelpAnchor(context));
    }
}

}  // namespace fotolyx::gui
