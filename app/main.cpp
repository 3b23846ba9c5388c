// Start-up: the command line, the application object with the station's font, the main window
// (its FormCreate builds the display), the hidden country dialog, then the main window is shown
// and the message loop runs until Exit closes it.
#include "Controls.h"
#include "Countrycode.h"
#include "StationApplication.h"
#include "StationOptions.h"
#include "Unit1.h"

#include <exception>
#include <memory>

int main(int argc, char** argv) {
    StationOptions options;
    if (const std::optional<int> exitCode = ReadStationOptions(argc, argv, options)) {
        return *exitCode;
    }

    // Qt sees the program name only.
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    TStationApplication app(qtArgc, qtArgv);
    QApplication::setFont(StationFont());

    // An error while the windows are created is shown like one that escapes the message loop,
    // and the program still ends with exit code 0.
    try {
        auto Form1 = std::make_unique<TForm1>();
        // The country dialog is a window of its own, owned by the main window, created hidden.
        Form1->CtCode = new TCtCode(Form1.get(), Form1->MemoArea);
        Form1->show();
        app.exec();
    } catch (const std::exception& e) {
        app.ShowException(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        app.ShowException(QString());
    }
    return 0;
}
