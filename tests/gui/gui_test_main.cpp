#include <gtest/gtest.h>

#include <QApplication>

#include "gui/gui_session.h"

namespace {

// The offscreen platform warns about window hints it cannot honour; nothing else is dropped.
QtMessageHandler defaultHandler = nullptr;
void FilterMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.contains(QStringLiteral("This plugin does not support"))) {
        return;
    }
    defaultHandler(type, context, message);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    defaultHandler = qInstallMessageHandler(FilterMessages);
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    fotolyx::testing::ModalWatchdog watchdog;
    return RUN_ALL_TESTS();
}
