// The entry point of every test program that needs Qt: GoogleTest, and one application object of
// the kind the program is built for (MV62_TEST_APPLICATION):
//   1  QCoreApplication: timers and the event loop (serial tests)
//   2  QGuiApplication: the font rasteriser (canvas tests)
//   3  QApplication with the station's font, as the program has it (widget tests)
//   4  TStationApplication, the program's own, with the station's font (window layout tests)
// Widget tests run headless on Qt's offscreen platform unless another platform is asked for,
// also when the test list is read at build time.
#include <gtest/gtest.h>

#if MV62_TEST_APPLICATION == 1
#include <QCoreApplication>
using TTestApplication = QCoreApplication;
#elif MV62_TEST_APPLICATION == 2
#include <QGuiApplication>
using TTestApplication = QGuiApplication;
#elif MV62_TEST_APPLICATION == 3
#include <QApplication>

#include "Controls.h"
using TTestApplication = QApplication;
#elif MV62_TEST_APPLICATION == 4
#include "Controls.h"
#include "StationApplication.h"
using TTestApplication = TStationApplication;
#else
#error "MV62_TEST_APPLICATION must be 1, 2, 3 or 4"
#endif

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (MV62_TEST_APPLICATION >= 2 && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    TTestApplication app(argc, argv);
#if MV62_TEST_APPLICATION >= 3
    QApplication::setFont(StationFont());
#endif
    return RUN_ALL_TESTS();
}
