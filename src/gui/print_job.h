#pragma once

#include <QDialog>
#include <QPrinter>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>

#include "imaging/dib_block.h"

namespace fotolyx::gui {

// How a finished document reaches a printer of the print system: a program given the printer's
// name (none: the system's default printer), the document's title and the PDF file, which it
// queues for printing and then ends, 0 when the job was queued (the print system's lp).
struct PrintSpooler {
    QString program = QStringLiteral("lp");
    QStringList Arguments(const QString& printer, const QString& title, const QString& file) const;
};

// Print (40017) of a picture window: the print dialog, then the picture on one page. 1 when the
// print dialog was cancelled, 0 otherwise.
int PrintPicture(QWidget* owner, const QString& title, const DibBlock& picture);

// The same on a printer that is already set up, without the print dialog (a PDF file, for
// instance).
int PrintPictureTo(QPrinter& printer, QWidget* owner, const QString& title,
                   const DibBlock& picture);

// The same, the page laid out as on the printer, handed to a spooler instead of the printer's own
// output.
int PrintPictureToSpooler(QPrinter& printer, const PrintSpooler& spooler, QWidget* owner,
                          const QString& title, const DibBlock& picture);

// The modeless "Cancel Print Job" dialog (CANCEL) shown while a page is produced. It has no
// close box; its Cancel button (id 2) and Esc give onCommand until it is disarmed.
class CancelPrintDialog final : public QDialog {
  public:
    CancelPrintDialog(QWidget* parent, std::function<void()> onCommand);
    void Disarm();

  protected:
    void reject() override;
    void closeEvent(QCloseEvent* event) override;

  private:
    std::function<void()> onCommand_;
};

}  // namespace fotolyx::gui
