// The micro benchmarks run inside a QApplication (the window and the text rasteriser need one),
// on Qt's offscreen platform unless another one is asked for.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdlib>

#include "Controls.h"

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication app(qtArgc, qtArgv);
    QApplication::setFont(StationFont());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
