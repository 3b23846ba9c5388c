// Start-up: the application object with the station's font, the main window, the hidden country
// dialog, then the message loop until Exit closes the main window.
#include "Controls.h"
#include "Countrycode.h"
#include "StationApplication.h"
#include "Unit1.h"

#include <exception>

int main(int, char** argv) {
    // The station reads no command line: Qt sees the program name only.
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    TStationApplication app(qtArgc, qtArgv);
    QApplication::setFont(StationFont());

    TForm1 Form1;
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
    return 0;
}
