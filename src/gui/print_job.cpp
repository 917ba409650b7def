#include "gui/print_job.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPrintDialog>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/dialogs.h"
#include "gui/dib_image.h"
#include "print/print_job.h"

namespace fotolyx::gui {

namespace {

constexpr int BUTTON_CANCEL = 2;

// The printing calls on a QPrinter: the document is a QPainter on it, the owner a widget that
// may go away while events are pumped.
class QtPrintDevice final : public PrintDevice {
  public:
    QtPrintDevice(QPrinter& printer, QWidget* owner, bool withDialog, PrintState& state)
        : printer_(printer), owner_(owner), withDialog_(withDialog), state_(state) {}

    ~QtPrintDevice() override {
        if (painter_.isActive()) {
            painter_.end();
        }
        delete cancelDialog_.data();
    }

    bool RunPrintDialog() override {
        if (!withDialog_) {
            return true;
        }
        QPointer<QPrintDialog> dialog = new QPrintDialog(&printer_, owner_);
        const int answer = dialog->exec();
        delete dialog.data();
        return answer == QDialog::Accepted;
    }

    std::int32_t HorzRes() override { return PrintableArea().width(); }
    std::int32_t VertRes() override { return PrintableArea().height(); }

    int StartDoc(std::string_view documentName) override {
        printer_.setDocName(
            QString::fromUtf8(documentName.data(), static_cast<qsizetype>(documentName.size())));
        return painter_.begin(&printer_) ? 1 : 0;
    }

    int StartPage() override {
        if (!painter_.isActive() || (pages_ > 0 && !printer_.newPage())) {
            return 0;
        }
        return ++pages_;
    }

    void DrawPicture(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                     const DibBlock& picture) override {
        painter_.drawImage(QRect(x, y, width, height), DibToImage(picture.bytes()));
    }

    int EndPage() override {
        return painter_.isActive() && printer_.printerState() != QPrinter::Error ? 1 : -1;
    }

    int EndDoc() override { return painter_.end() ? 1 : -1; }

    void Abort() override {
        const bool discarded = printer_.abort();
        if (painter_.isActive()) {
            painter_.end();
        }
        // Output that cannot be called back is removed when it went to a file.
        if (!discarded && printer_.outputFormat() == QPrinter::PdfFormat &&
            !printer_.outputFileName().isEmpty()) {
            QFile::remove(printer_.outputFileName());
        }
    }

    void SetOwnerEnabled(bool enabled) override {
        if (owner_) {
            owner_->setEnabled(enabled);
        }
    }

    void ShowCancelDialog() override {
        // The dialog belongs to the owner's top-level window, which stays enabled.
        QWidget* top = owner_ ? owner_->window() : nullptr;
        auto* dialog = new CancelPrintDialog(top == owner_ ? nullptr : top,
                                             [this] { CancelDialogCommand(*this, state_); });
        dialog->show();
        cancelDialog_ = dialog;
    }

    void DestroyCancelDialog() override {
        CancelPrintDialog* dialog = cancelDialog_.data();
        cancelDialog_ = nullptr;
        if (dialog != nullptr) {
            // Often called from the dialog's own button: it goes once that click is over.
            dialog->Disarm();
            dialog->hide();
            dialog->deleteLater();
        }
    }

    bool PumpEvent() override {
        QCoreApplication::processEvents();
        return false;  // everything that was waiting has been dispatched
    }

  private:
    QRect PrintableArea() const {
        return printer_.pageLayout().paintRectPixels(printer_.resolution());
    }

    QPrinter& printer_;
    QPointer<QWidget> owner_;
    bool withDialog_;
    PrintState& state_;
    QPainter painter_;
    int pages_ = 0;
    QPointer<CancelPrintDialog> cancelDialog_;
};

int RunPrint(QPrinter& printer, QWidget* owner, bool withDialog, const QString& title,
             const DibBlock& picture) {
    // The window's picture may change or go while events are pumped: print a copy.
    const DibBlock copy = picture;
    PrintState state;
    QtPrintDevice device(printer, owner, withDialog, state);
    return Print(device, state, title.toStdString(), copy);
}

}  // namespace

CancelPrintDialog::CancelPrintDialog(QWidget* parent, std::function<void()> onCommand)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      onCommand_(std::move(onCommand)) {
    setObjectName(QStringLiteral("CANCEL"));
    setWindowTitle(QStringLiteral("Cancel Print Job"));
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Cancel current print job?"), this));
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("button%1").arg(BUTTON_CANCEL));
    cancel->setDefault(true);
    connect(cancel, &QPushButton::clicked, this, &CancelPrintDialog::reject);
    layout->addWidget(cancel, 0, Qt::AlignHCenter);
    FitTitle(*this);
}

void CancelPrintDialog::reject() {
    // The Cancel button and Esc; ending the job removes the dialog, so call a copy.
    if (onCommand_) {
        const auto command = onCommand_;
        command();
    }
}

void CancelPrintDialog::Disarm() {
    onCommand_ = nullptr;
}

void CancelPrintDialog::closeEvent(QCloseEvent* event) {
    event->ignore();  // the dialog has no Close
}

int PrintPicture(QWidget* owner, const QString& title, const DibBlock& picture) {
    QPrinter printer(QPrinter::HighResolution);
    return RunPrint(printer, owner, true, title, picture);
}

int PrintPictureTo(QPrinter& printer, QWidget* owner, const QString& title,
                   const DibBlock& picture) {
    return RunPrint(printer, owner, false, title, picture);
}

}  // namespace fotolyx::gui
