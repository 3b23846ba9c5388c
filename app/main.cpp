// Start-up: the command line, the application object with the station's font, the main window,
// the hidden country dialog, then the message loop until Exit closes the main window. With
// --auto-test the same window runs one automatic test unseen and its outcome is the exit code.
#include <QTimer>
#include <cstdio>
#include <exception>
#include <memory>

#include "AutoTestRun.h"
#include "Controls.h"
#include "Countrycode.h"
#include "Recorder.h"
#include "StationApplication.h"
#include "StationOptions.h"
#include "Unit1.h"

namespace {

void PrintError(const QString& message) {
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

}  // namespace

int main(int argc, char** argv) {
    StationOptions options;
    if (const std::optional<int> exitCode = ReadStationOptions(argc, argv, options)) {
        return *exitCode;
    }
    if (options.autoTest) {
        // No display is needed and no window is shown.
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }

    // Qt sees the program name only.
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    TStationApplication app(qtArgc, qtArgv);
    QApplication::setFont(StationFont());

    // The recorder outlives the window and every serial component the window creates.
    std::unique_ptr<mv62rec::Recorder> recorder;
    if (options.recordsFolder) {
        recorder = std::make_unique<mv62rec::Recorder>(
            *options.recordsFolder,
            mv62rec::StationIdentity::OfThisMachine("mv62-station", MV62_VERSION));
    }

    TForm1 Form1;
    Form1.Observer = recorder.get();
    if (options.autoTest) {
        Form1.ShowError = PrintError;
        recorder->OnError = PrintError;
        return RunAutoTest(Form1, *recorder, options);
    }
    if (recorder) {
        recorder->OnError = [&Form1](const QString& message) {
            PrintError(message);
            // Shown once the handler that met it has returned: a message box must not hold up
            // the start of the link or a receive event.
            QTimer::singleShot(0, &Form1, [&Form1, message] { Form1.ShowError(message); });
        };
    }

    Form1.show();
    // The country dialog is a window of its own, owned by the main window and hidden until the
    // technician asks for it.
    auto* ctCode = new TCtCode(&Form1, Form1.MemoArea);
    ctCode->hide();
    Form1.CtCode = ctCode;

    try {
        app.exec();
    } catch (const std::exception& e) {
        app.ShowException(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        app.ShowException(QString());
    }
    if (recorder) {
        recorder->Shutdown();
    }
    return 0;
}
