#include <gtest/gtest.h>

#include <QApplication>

#include "gui/gui_session.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    fotolyx::testing::ModalWatchdog watchdog;
    return RUN_ALL_TESTS();
}
