// Makes the README's second picture: the program on the simulated camera with a downloaded
// picture adjusted, beside the Image Adjustment dialog that adjusted it.
//   fotolyx-adjust-screenshot OUTPUT.png
#include <QApplication>
#include <QFont>
#include <QPainter>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <cstdio>

#include "gui/gui_session.h"
#include "gui/image_adjust_dialog.h"

namespace {

using fotolyx::testing::GuiSession;

struct Setting {
    int index;
    int value;
};
// Brighter, a little more contrast and colour, some sharpening.
constexpr Setting SETTINGS[] = {{0, 25}, {1, 20}, {2, 40}, {3, 30}};

constexpr int TITLE_HEIGHT = 24;
constexpr int GAP = 16;

// The dialog's grab with a plain title bar, as a window manager would frame it.
QImage Framed(const QImage& dialog, const QString& title) {
    QImage framed(dialog.width() + 2, dialog.height() + TITLE_HEIGHT + 1, QImage::Format_RGB32);
    framed.fill(QColor(64, 64, 64));
    QPainter painter(&framed);
    painter.fillRect(1, 1, dialog.width(), TITLE_HEIGHT - 1, QColor(40, 70, 130));
    painter.setPen(Qt::white);
    QFont font = painter.font();
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(QRect(8, 1, dialog.width() - 8, TITLE_HEIGHT - 1), Qt::AlignVCenter, title);
    painter.drawImage(1, TITLE_HEIGHT, dialog);
    return framed;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: fotolyx-adjust-screenshot OUTPUT.png\n");
        return 2;
    }
    GuiSession session;
    fotolyx::Program& pictures = session.program();
    if (!session.WaitFor([&] {
            return pictures.indexTransfer.index.IndexLoaded &&
                   session.frame().StatusText() == "Ready";
        })) {
        std::fprintf(stderr, "the camera's index did not load\n");
        return 1;
    }
    QWidget* preview = session.frame().PreviewFrame()->widget();
    const QPoint firstThumbnail(70, 105);
    QTest::mouseClick(preview, Qt::LeftButton, {}, firstThumbnail);
    QTest::mouseDClick(preview, Qt::LeftButton, {}, firstThumbnail);
    if (!session.WaitFor([&] {
            return pictures.captureWindows.Ids().size() == 1 &&
                   !pictures.pictureDownload.download.CaptureWaiting &&
                   session.frame().StatusText() == "Ready";
        })) {
        std::fprintf(stderr, "the picture did not download\n");
        return 1;
    }

    QImage dialogShot;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* dialog = dynamic_cast<fotolyx::gui::ImageAdjustDialog*>(widget);
            if (!dialog || !dialog->isVisible()) {
                continue;
            }
            poll.stop();
            for (const Setting& setting : SETTINGS) {
                auto* bar = dialog->findChild<QScrollBar*>(
                    QStringLiteral("control%1")
                        .arg(fotolyx::IDC_ADJUST_FIRST_SCROLL + setting.index));
                bar->setSliderDown(true);
                bar->setSliderPosition(setting.value);
                bar->setSliderDown(false);
            }
            dialogShot = Framed(dialog->grab().toImage(), dialog->windowTitle());
            dialog->accept();
        }
    });
    poll.start();
    session.frame().Command(fotolyx::CMD_IMAGE_ADJUST);
    if (dialogShot.isNull()) {
        std::fprintf(stderr, "the Image Adjustment dialog did not show\n");
        return 1;
    }
    QApplication::processEvents();
    const QImage frameShot = session.frame().grab().toImage();

    QImage shot(frameShot.width() + GAP + dialogShot.width() + GAP, frameShot.height(),
                QImage::Format_RGB32);
    shot.fill(QColor(90, 100, 110));
    QPainter painter(&shot);
    painter.drawImage(0, 0, frameShot);
    painter.drawImage(frameShot.width() + GAP, (frameShot.height() - dialogShot.height()) / 3,
                      dialogShot);
    painter.end();
    if (!shot.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    std::printf("wrote %s\n", argv[1]);
    return 0;
}
