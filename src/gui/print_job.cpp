#include "gui/print_job.h"

#include <QBuffer>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPainter>
#include <QPdfWriter>
#include <QPointer>
#include <QPrintDialog>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryFile>
#include <QVBoxLayout>
#include <filesystem>
#include <memory>
#include <optional>

#include "gui/dialogs.h"
#include "gui/dib_image.h"
#include "imaging/atomic_file.h"
#include "print/print_job.h"

namespace fotolyx::gui {

namespace {

constexpr int BUTTON_CANCEL = 2;

// How often the spooler is looked at while the dialog is served.
constexpr int SPOOL_POLL_MS = 20;

// The printing calls on a QPrinter. The page is drawn into a PDF document in memory with the
// printer's page layout and resolution; only a job that ended without a cancel leaves it: to
// the printer's output file (written beside it and moved over it), or to the print system's
// spooler. So a cancel at any moment keeps the page from the printer, whatever the printer's
// engine can take back. The owner is a widget that may go away while events are pumped.
class QtPrintDevice final : public PrintDevice {
  public:
    QtPrintDevice(QPrinter& printer, QWidget* owner, bool withDialog, PrintState& state,
                  std::optional<PrintSpooler> spooler)
        : printer_(printer),
          owner_(owner),
          withDialog_(withDialog),
          state_(state),
          spooler_(std::move(spooler)) {}

    ~QtPrintDevice() override {
        Discard();
        delete cancelDialog_.data();
    }

    bool RunPrintDialog() override {
        if (!withDialog_) {
            return true;
        }
        QPointer<QPrintDialog> dialog = new QPrintDialog(&printer_, owner_);
        MakeModalToOwner(*dialog);
        const int answer = dialog->exec();
        delete dialog.data();
        return answer == QDialog::Accepted;
    }

    std::int32_t HorzRes() override { return PrintableArea().width(); }
    std::int32_t VertRes() override { return PrintableArea().height(); }

    int StartDoc(std::string_view documentName) override {
        title_ =
            QString::fromUtf8(documentName.data(), static_cast<qsizetype>(documentName.size()));
        printer_.setDocName(title_);
        document_.buffer().clear();
        document_.open(QIODevice::WriteOnly);
        writer_ = std::make_unique<QPdfWriter>(&document_);
        writer_->setTitle(title_);
        writer_->setResolution(printer_.resolution());
        writer_->setPageLayout(printer_.pageLayout());
        return painter_.begin(writer_.get()) ? 1 : 0;
    }

    int StartPage() override {
        if (!painter_.isActive() || (pages_ > 0 && !writer_->newPage())) {
            return 0;
        }
        return ++pages_;
    }

    void DrawPicture(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                     const DibBlock& picture) override {
        painter_.drawImage(QRect(x, y, width, height), DibToImage(picture.bytes()));
    }

    int EndPage() override { return painter_.isActive() ? 1 : -1; }

    int EndDoc() override {
        if (!painter_.end()) {
            Discard();
            return -1;
        }
        document_.close();
        // The document may take a moment to write: a cancel meanwhile still counts.
        QCoreApplication::processEvents();
        if (state_.PrintAborted != 0) {
            Discard();
            return -1;
        }
        const bool delivered = ToSpooler() ? Spool() : ToFile();
        Discard();
        return delivered ? 1 : -1;
    }

    void Abort() override { Discard(); }

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

    bool ToSpooler() const {
        return spooler_.has_value() || printer_.outputFormat() != QPrinter::PdfFormat ||
               printer_.outputFileName().isEmpty();
    }

    // The printer's output file gets the whole document or stays as it was.
    bool ToFile() {
        const QByteArray& bytes = document_.buffer();
        return WriteFileAtomically(
            std::filesystem::path(QFile::encodeName(printer_.outputFileName()).toStdString()),
            {reinterpret_cast<const std::uint8_t*>(bytes.constData()),
             static_cast<std::size_t>(bytes.size())});
    }

    // The document queued on the printer by the spooler, the cancel dialog served meanwhile; a
    // cancel before the spooler has finished stops it.
    bool Spool() {
        QTemporaryFile file(QDir::temp().filePath(QStringLiteral("fotolyx-print-XXXXXX.pdf")));
        if (!file.open() || file.write(document_.buffer()) != document_.buffer().size() ||
            !file.flush()) {
            return false;
        }
        file.close();
        const PrintSpooler spooler = spooler_.value_or(PrintSpooler{});
        spool_ = std::make_unique<QProcess>();
        spool_->setProgram(spooler.program);
        spool_->setArguments(spooler.Arguments(printer_.printerName(), title_, file.fileName()));
        spool_->setProcessChannelMode(QProcess::ForwardedChannels);
        spool_->start();
        if (!spool_->waitForStarted()) {
            spool_.reset();
            return false;
        }
        while (!spool_->waitForFinished(SPOOL_POLL_MS)) {
            QCoreApplication::processEvents();
            if (state_.PrintAborted != 0 || spool_->state() == QProcess::NotRunning) {
                break;
            }
        }
        const bool done = state_.PrintAborted == 0 && spool_->state() == QProcess::NotRunning &&
                          spool_->exitStatus() == QProcess::NormalExit && spool_->exitCode() == 0;
        return done;
    }

    // Nothing of the job goes anywhere any more.
    void Discard() {
        if (painter_.isActive()) {
            painter_.end();
        }
        writer_.reset();
        document_.close();
        document_.buffer().clear();
        if (spool_ && spool_->state() != QProcess::NotRunning) {
            spool_->kill();
            spool_->waitForFinished(SPOOL_POLL_MS * 50);
        }
        spool_.reset();
    }

    QPrinter& printer_;
    QPointer<QWidget> owner_;
    bool withDialog_;
    PrintState& state_;
    std::optional<PrintSpooler> spooler_;
    QString title_;
    QBuffer document_;
    std::unique_ptr<QPdfWriter> writer_;
    QPainter painter_;
    int pages_ = 0;
    std::unique_ptr<QProcess> spool_;
    QPointer<CancelPrintDialog> cancelDialog_;
};

int RunPrint(QPrinter& printer, QWidget* owner, bool withDialog, const QString& title,
             const DibBlock& picture, std::optional<PrintSpooler> spooler = std::nullopt) {
    // The window's picture may change or go while events are pumped: print a copy.
    const DibBlock copy = picture;
    PrintState state;
    QtPrintDevice device(printer, owner, withDialog, state, std::move(spooler));
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

int PrintPictureToSpooler(QPrinter& printer, const PrintSpooler& spooler, QWidget* owner,
                          const QString& title, const DibBlock& picture) {
    return RunPrint(printer, owner, false, title, picture, spooler);
}

QStringList PrintSpooler::Arguments(const QString& printer, const QString& title,
                                    const QString& file) const {
    QStringList arguments;
    if (!printer.isEmpty()) {
        arguments << QStringLiteral("-d") << printer;
    }
    arguments << QStringLiteral("-t") << title << QStringLiteral("--") << file;
    return arguments;
}

}  // namespace fotolyx::gui
