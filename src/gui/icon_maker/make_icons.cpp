// Writes the program's icon as PNG files for the desktop: OUTDIR/SIZExSIZE/apps/fotolyx.png.
#include <QDir>
#include <QGuiApplication>
#include <iostream>

#include "gui/frame_icon.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: fotolyx-make-icons OUTDIR\n";
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const QDir out(QString::fromLocal8Bit(argv[1]));
    for (const int size : fotolyx::gui::FRAME_ICON_SIZES) {
        const QString folder = QStringLiteral("%1x%1/apps").arg(size);
        const QString file = QStringLiteral("%1/%2.png")
                                 .arg(folder, QString::fromLatin1(fotolyx::gui::FRAME_ICON_NAME));
        if (!out.mkpath(folder) || !fotolyx::gui::DrawFrameIcon(size).save(out.filePath(file))) {
            std::cerr << "fotolyx-make-icons: cannot write " << out.filePath(file).toStdString()
                      << '\n';
            return 1;
        }
    }
    return 0;
}
