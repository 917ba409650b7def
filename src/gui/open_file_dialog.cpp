#include "gui/open_file_dialog.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>

#include "app/open_command.h"
#include "gui/dialogs.h"
#include "gui/dib_image.h"
#include "gui/screen_image.h"

namespace fotolyx::gui {

namespace {

constexpr QSize EXTRA_PART_SIZE(330, 180);
const QColor FRAME_DARK(0x40, 0x40, 0x40);
const QColor LIGHT_GREY(192, 192, 192);

QStringList Filters() {
    return {QString::fromLatin1(OPEN_FILTER_JPEG_TEXT), QString::fromLatin1(OPEN_FILTER_BMP_TEXT)};
}

QLineEdit* SizeField(QWidget* parent, int id, int y) {
    auto* field = new QLineEdit(parent);
    field->setObjectName(QString::number(id));
    field->setReadOnly(true);
    field->setGeometry(70, y, 70, 22);
    return field;
}

}  // namespace

OpenPreviewPart::OpenPreviewPart(OpenPreview& preview, const DisplayState& display, QWidget* parent)
    : QWidget(parent),
      preview_(preview),
      display_(display),
      previewBox_(new QCheckBox(QStringLiteral("Preview"), this)) {
    setObjectName(QStringLiteral("FILEOPEN"));
    setFixedSize(EXTRA_PART_SIZE);
    previewBox_->setObjectName(QString::number(PREVIEW_CHECK_BOX));
    previewBox_->setGeometry(10, 6, 140, 20);
    auto* group = new QGroupBox(QStringLiteral("Image size (pixels)"), this);
    group->setGeometry(165, 30, 155, 90);
    auto* widthLabel = new QLabel(QStringLiteral("Width :"), group);
    widthLabel->setGeometry(10, 27, 55, 22);
    auto* heightLabel = new QLabel(QStringLiteral("Hight :"), group);
    heightLabel->setGeometry(10, 57, 55, 22);
    width_ = SizeField(group, WIDTH_FIELD, 27);
    height_ = SizeField(group, HEIGHT_FIELD, 57);
}

void OpenPreviewPart::ShowSize() {
    width_->setText(QString::fromStdString(preview_.WidthText()));
    height_->setText(QString::fromStdString(preview_.HeightText()));
}

void OpenPreviewPart::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // A sunken frame: dark on the left and top, white on the bottom and right.
    painter.setPen(FRAME_DARK);
    painter.drawLine(10, 170, 10, 31);
    painter.drawLine(10, 30, 149, 30);
    painter.setPen(Qt::white);
    painter.drawLine(10, 170, 149, 170);
    painter.drawLine(150, 170, 150, 31);
    painter.fillRect(
        QRect(PREVIEW_AREA_LEFT, PREVIEW_AREA_TOP, PREVIEW_AREA_SIZE, PREVIEW_AREA_SIZE),
        LIGHT_GREY);
    const std::optional<PreviewPaint> paint = preview_.Paint();
    if (!paint) {
        return;
    }
    const QImage picture = ShownImage(display_, DibToImage(paint->picture.bytes()));
    if (!picture.isNull()) {
        painter.drawImage(QPoint(paint->place.left, paint->place.top), picture);
    }
}

OpenFileDialog::OpenFileDialog(QWidget* owner, OpenPreview& preview, const DisplayState& display,
                               const QString& folder, int filterIndex)
    : QFileDialog(owner), preview_(preview), part_(new OpenPreviewPart(preview, display, this)) {
    setObjectName(QStringLiteral("OpenFileDialog"));
    setOption(QFileDialog::DontUseNativeDialog);
    setWindowTitle(QString::fromLatin1(OPEN_DIALOG_TITLE));
    setAcceptMode(QFileDialog::AcceptOpen);
    setFileMode(QFileDialog::ExistingFile);
    // "*.JPG" also shows "photo.jpg".
    setFilter(filter() & ~QDir::Filters(QDir::CaseSensitive));
    setNameFilters(Filters());
    const QStringList filters = Filters();
    if (filterIndex >= 1 && filterIndex <= filters.size()) {
        selectNameFilter(filters.at(filterIndex - 1));
    }
    setDefaultSuffix(QStringLiteral("bmp"));
    setDirectory(folder);
    if (auto* grid = qobject_cast<QGridLayout*>(layout())) {
        grid->addWidget(part_, grid->rowCount(), 0, 1, grid->columnCount());
    }
    FitFileColumns(*this);
    MakeModalToOwner(*this);

    part_->PreviewBox()->setChecked(preview_.InitDialog());
    connect(this, &QFileDialog::currentChanged, this, [this](const QString& path) {
        current_ = path;
        if (preview_.SelectionChanged(QFile::encodeName(path).toStdString())) {
            part_->ShowSize();
            part_->update();
        }
    });
    connect(part_->PreviewBox(), &QCheckBox::clicked, this, [this](bool checked) {
        const bool repaint =
            preview_.PreviewClicked(checked, QFile::encodeName(current_).toStdString());
        part_->ShowSize();
        if (repaint) {
            part_->update();
        }
    });
}

int OpenFileDialog::FilterIndex() const {
    const qsizetype index = Filters().indexOf(selectedNameFilter());
    return index < 0 ? OPEN_FILTER_JPEG : static_cast<int>(index) + 1;
}

std::string OpenFileDialog::ChosenPath() const {
    const QStringList files = selectedFiles();
    return files.isEmpty() ? std::string() : QFile::encodeName(files.front()).toStdString();
}

void OpenFileDialog::Choose(const QString& path, int filterIndex) {
    const QStringList filters = Filters();
    if (filterIndex >= 1 && filterIndex <= filters.size()) {
        selectNameFilter(filters.at(filterIndex - 1));
    }
    // Goes to the file's folder and types its name into the name field, as a user does.
    // selectFile() would leave the field as it is while it has the focus, and the file list
    // fills in the background, so neither may be relied on before Open is pressed.
    const QFileInfo file(path);
    setDirectory(file.absolutePath());
    if (auto* name = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
        name->setText(file.fileName());
    } else {
        selectFile(path);
    }
    accept();
}

bool RunOpenCommand(QWidget* owner, Program& program) {
    OpenPreview preview(program.openDialog, MakeOpenPreviewPorts(program));
    OpenFileDialog dialog(owner, preview, program.display,
                          QFile::decodeName(program.settings.OpenInitialDir.c_str()),
                          program.openDialog.filterIndex);
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    const std::string chosen = dialog.ChosenPath();
    if (chosen.empty()) {
        return false;
    }
    program.openDialog.filterIndex = dialog.FilterIndex();
    return OpenChosenPicture(program, chosen, program.openDialog.filterIndex);
}

}  // namespace fotolyx::gui
