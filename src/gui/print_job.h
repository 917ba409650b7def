#pragma once

#include <QDialog>
#include <QPrinter>
#include <QString>
#include <QWidget>
#include <functional>

#include "imaging/dib_block.h"

namespace fotolyx::gui {

// Print (40017) of a picture window: the print dialog, then the picture on one page. 1 when the
// print dialog was cancelled, 0 otherwise.
int PrintPicture(QWidget* owner, const QString& title, const DibBlock& picture);

// The same on a printer that is already set up, without the print dialog (a PDF file, for
// instance).
int PrintPictureTo(QPrinter& printer, QWidget* owner, const QString& title,
                   const DibBlock& picture);

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
