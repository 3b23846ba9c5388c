// Test entry point for widget tests: one application object with the station's font.
#include <gtest/gtest.h>

#include <QApplication>

#include "Controls.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Widget tests are headless, also when the test list is read at build time.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    QApplication::setFont(StationFont());
    return RUN_ALL_TESTS();
}
