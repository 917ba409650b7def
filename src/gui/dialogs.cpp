#include "gui/dialogs.h"

#include <QDateTime>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>
#include <array>

#include "fotolyx_version.h"
#include "ports/serial_line.h"

namespace fotolyx::gui {

namespace {

constexpr int BUTTON_CANCEL = 2;
constexpr int CONTROL_BLINK = 1005;
constexpr int CONTROL_BAUD_RATE = 1036;
constexpr int BLINK_MS = 500;
constexpr char BLANK_TEXT[] = "             ";  // thirteen spaces
// What a title bar takes beside its title: buttons and margins.
constexpr int TITLE_BAR_EXTRA = 120;
// The file dialogs' side bar of places.
constexpr int SIDE_BAR_WIDTH = 150;

struct PleaseWaitText {
    PleaseWait kind;
    const char* title;
    const char* text;
    const char* waitText;
};

constexpr PleaseWaitText PLEASE_WAIT_TEXTS[] = {
    {PleaseWait::DataTrans, "DATA TRANSFER", "Data transfer is now in progress.", "Please wait."},
    {PleaseWait::PeraseProc, "DATA ERASE", "Data is now being erased.", "Please wait"},
};

struct PortButton {
    int id;
    const char* text;
};
constexpr std::array<PortButton, 4> PORT_BUTTONS = {{
    {PORT_COM1, "COM1"},
    {PORT_COM2, "COM2"},
    {PORT_COM3, "COM3"},
    {PORT_COM4, "COM4"},
}};

QLabel* Text(QWidget* parent, const char* text) {
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    label->setWordWrap(true);
    return label;
}

}  // namespace

void FitTitle(QDialog& dialog) {
    // A title bar's font is mostly a little bigger and bolder than the dialog's own; its
    // buttons (close, and often others) and margins take about as much again as a few words.
    QFont titleFont = dialog.font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.2);
    const int title = QFontMetrics(titleFont).horizontalAdvance(dialog.windowTitle());
    dialog.setMinimumWidth(std::max(dialog.minimumWidth(), title + TITLE_BAR_EXTRA));
}

void FitFileColumns(QFileDialog& dialog) {
    auto* tree = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
    if (!tree) {
        return;
    }
    // Size, type and date take the width of what they show; the name gets the rest.
    QHeaderView* header = tree->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int column = 1; column < header->count(); ++column) {
        header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    }
    // The dialog is made wide enough for the longest texts of those columns beside a name of
    // thirty characters and the side bar of places.
    const QFontMetrics metrics(tree->font());
    const QString samples[] = {
        QStringLiteral("1023.9 KiB"),
        QStringLiteral("JPEG image"),
        QLocale().toString(QDateTime(QDate(2026, 12, 31), QTime(23, 59)), QLocale::ShortFormat),
        QString(30, QLatin1Char('M')),
    };
    int wanted = SIDE_BAR_WIDTH;
    for (const QString& sample : samples) {
        wanted += metrics.horizontalAdvance(sample) + 4 * metrics.averageCharWidth();
    }
    dialog.resize(std::max(dialog.width(), wanted), dialog.height());
}

void MakeModalToOwner(QDialog& dialog) {
    dialog.setWindowModality(dialog.parentWidget() ? Qt::WindowModal : Qt::ApplicationModal);
}

LinkDialogWindow::LinkDialogWindow(QWidget* parent, const char* title,
                                   const std::vector<const char*>& texts,
                                   std::vector<DialogButton> buttons)
    : QDialog(parent), buttons_(std::move(buttons)) {
    setWindowTitle(QString::fromLatin1(title));
    MakeModalToOwner(*this);
    FitTitle(*this);
    auto* layout = new QVBoxLayout(this);
    for (const char* text : texts) {
        layout->addWidget(Text(this, text));
    }
    auto* row = new QHBoxLayout;
    for (const DialogButton& button : buttons_) {
        auto* push = new QPushButton(QString::fromLatin1(button.text), this);
        push->setObjectName(QStringLiteral("button%1").arg(button.id));
        push->setAutoDefault(button.id == buttons_.front().id);
        const int id = button.id;
        connect(push, &QPushButton::clicked, this, [this, id] { Press(id); });
        row->addWidget(push);
    }
    layout->addLayout(row);
}

void LinkDialogWindow::Press(int id) {
    for (const DialogButton& button : buttons_) {
        if (button.id == id) {
            // The action may end (and delete) this dialog: take a copy first.
            const auto action = button.action;
            action();
            return;
        }
    }
}

void LinkDialogWindow::reject() {
    Press(BUTTON_CANCEL);
}

LinkDialogContent LinkDialogContents(LinkDialog dialog, LinkSetup& setup) {
    switch (dialog) {
        case LinkDialog::ComReconnect:
            return {COM_RECONNECT_TITLE,
                    {COM_RECONNECT_TEXT},
                    {{1, "Retry", [&setup] { setup.ReconnectRetry(); }},
                     {2, "Cancel", [&setup] { setup.ReconnectCancel(); }},
                     {3, "Help", [&setup] { setup.ReconnectHelp(); }}}};
        case LinkDialog::ComDisconnect:
            return {COM_DISCONNECT_TITLE,
                    {COM_DISCONNECT_TEXT},
                    {{1, "Reconnect", [&setup] { setup.DisconnectReconnect(); }},
                     {2, "Cancel", [&setup] { setup.DisconnectCancel(); }},
                     {3, "Help", [&setup] { setup.DisconnectHelp(); }}}};
        case LinkDialog::ComCancelOk:
            return {COM_CANCELOK_TITLE,
                    {COM_CANCELOK_TEXT1, COM_CANCELOK_TEXT2},
                    {{1, "OK", [&setup] { setup.CancelOkOk(); }},
                     {2, "Cancel", [&setup] { setup.CancelOkCancel(); }}}};
    }
    return {};
}

ComSetupDialog::ComSetupDialog(QWidget* parent, const ComSetupContents& contents)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("COM SETUP"));
    MakeModalToOwner(*this);
    FitTitle(*this);
    auto* layout = new QVBoxLayout(this);

    auto* speedBox = new QGroupBox(QStringLiteral("BAUDRATE"), this);
    auto* speedLayout = new QHBoxLayout(speedBox);
    speedLayout->addWidget(new QLabel(QStringLiteral("  Current Baudrate"), speedBox));
    auto* speed = new QLineEdit(QString::fromStdString(contents.baudRateText), speedBox);
    speed->setObjectName(QStringLiteral("control%1").arg(CONTROL_BAUD_RATE));
    speed->setReadOnly(true);
    speedLayout->addWidget(speed);
    layout->addWidget(speedBox);

    auto* portBox = new QGroupBox(QStringLiteral("COM PORT"), this);
    // Each port with the device it opens beside it.
    auto* portLayout = new QGridLayout(portBox);
    for (std::size_t i = 0; i < PORT_BUTTONS.size(); ++i) {
        const PortButton& port = PORT_BUTTONS[i];
        const int row = static_cast<int>(i);
        auto* radio = new QRadioButton(QString::fromLatin1(port.text), portBox);
        radio->setObjectName(QStringLiteral("control%1").arg(port.id));
        radio->setEnabled(false);
        radio->setChecked(contents.checkedPort == port.id);
        portLayout->addWidget(radio, row, 0);
        auto* path = new QLabel(QString::fromStdString(contents.devicePaths[i]), portBox);
        path->setObjectName(QStringLiteral("devicePath%1").arg(port.id));
        path->setTextInteractionFlags(Qt::TextSelectableByMouse);
        portLayout->addWidget(path, row, 1);
    }
    layout->addWidget(portBox);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(ok, 0, Qt::AlignRight);
}

PleaseWaitDialog::PleaseWaitDialog(QWidget* parent, PleaseWait kind)
    : QDialog(parent), kind_(kind) {
    const PleaseWaitText* texts = &PLEASE_WAIT_TEXTS[0];
    for (const PleaseWaitText& candidate : PLEASE_WAIT_TEXTS) {
        if (candidate.kind == kind) {
            texts = &candidate;
        }
    }
    setWindowTitle(QString::fromLatin1(texts->title));
    MakeModalToOwner(*this);
    FitTitle(*this);
    waitText_ = QString::fromLatin1(texts->waitText);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Text(this, texts->text));
    control_ = new QLabel(waitText_, this);
    control_->setObjectName(QStringLiteral("control%1").arg(CONTROL_BLINK));
    layout->addWidget(control_);
    blink_.setInterval(BLINK_MS);
    connect(&blink_, &QTimer::timeout, this, [this] {
        showing_ = !showing_;
        control_->setText(showing_ ? waitText_ : QString::fromLatin1(BLANK_TEXT));
    });
    blink_.start();
}

void PleaseWaitDialog::End() {
    blink_.stop();
    done(QDialog::Accepted);
}

void PleaseWaitDialog::reject() {
    blink_.stop();
    const auto told = onUserClose;
    const PleaseWait kind = kind_;
    done(QDialog::Rejected);
    if (told) {
        told(kind);
    }
}

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About Fotolyx"));
    MakeModalToOwner(*this);
    FitTitle(*this);
    auto* layout = new QVBoxLayout(this);
    auto* name = new QLabel(QStringLiteral("Fotolyx " FOTOLYX_VERSION), this);
    name->setObjectName(QStringLiteral("aboutVersion"));
    layout->addWidget(name);
    layout->addWidget(Text(this, "Pictures from the Vistacam camcorder on your computer."));
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(ok, 0, Qt::AlignRight);
}

}  // namespace fotolyx::gui
