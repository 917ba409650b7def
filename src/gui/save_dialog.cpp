#include "gui/save_dialog.h"

#include <QFile>
#include <QFileDialog>
#include <QStringList>

#include "gui/dialogs.h"

namespace fotolyx::gui {

namespace {

QString Local(const std::string& text) {
    return QFile::decodeName(QByteArray::fromStdString(text));
}

}  // namespace

QString NameFilterOf(const std::string& description, const std::string& pattern) {
    const QString text = Local(description).trimmed();
    if (text.endsWith(QLatin1Char(')')) && text.contains(QLatin1Char('('))) {
        return text;
    }
    return QStringLiteral("%1 (%2)").arg(text, Local(pattern));
}

QString ExtensionFor(const SaveDialogRequest& request, int filterIndex) {
    if (filterIndex >= 1 && static_cast<std::size_t>(filterIndex) <= request.filters.size()) {
        const QString pattern =
            Local(request.filters[static_cast<std::size_t>(filterIndex - 1)].second);
        // The first pattern of the type, when it is "*.EXT" with a plain extension.
        const QString first = pattern.section(QLatin1Char(';'), 0, 0).trimmed();
        if (first.startsWith(QStringLiteral("*."))) {
            const QString extension = first.mid(2);
            if (!extension.isEmpty() && !extension.contains(QLatin1Char('*')) &&
                !extension.contains(QLatin1Char('?'))) {
                return extension;
            }
        }
    }
    return Local(request.defaultExtension);
}

std::optional<SaveDialogResult> RunSaveDialog(QWidget* owner, const SaveDialogRequest& request) {
    QStringList filters;
    for (const auto& [description, pattern] : request.filters) {
        filters << NameFilterOf(description, pattern);
    }
    const int count = static_cast<int>(filters.size());
    const int initial =
        request.filterIndex >= 1 && request.filterIndex <= count ? request.filterIndex : 1;

    QFileDialog dialog(owner);
    dialog.setObjectName(QString::fromLatin1(SAVE_DIALOG_NAME));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, (request.flags & OFN_OVERWRITEPROMPT) == 0);
    dialog.setNameFilters(filters);
    if (count > 0) {
        dialog.selectNameFilter(filters.at(initial - 1));
    }
    dialog.setDefaultSuffix(ExtensionFor(request, initial));
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                     [&dialog, &filters, &request](const QString& filter) {
                         const int index = static_cast<int>(filters.indexOf(filter)) + 1;
                         dialog.setDefaultSuffix(ExtensionFor(request, index));
                     });
    if (!request.initialDirectory.empty()) {
        dialog.setDirectory(Local(request.initialDirectory));
    }
    dialog.selectFile(Local(request.proposedName));
    FitFileColumns(dialog);
    MakeModalToOwner(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    const int chosen = static_cast<int>(filters.indexOf(dialog.selectedNameFilter())) + 1;
    return SaveDialogResult{QFile::encodeName(dialog.selectedFiles().front()).toStdString(),
                            chosen >= 1 ? chosen : initial};
}

}  // namespace fotolyx::gui
