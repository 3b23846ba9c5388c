// Start-up: the command line and the configuration file, the application object with the
// station's font, the main window (its FormCreate builds the display), the hidden country dialog,
// then the main window is shown and the message loop runs until Exit closes it. With --auto-test
// the same window runs one automatic test unseen and its outcome is the exit code.
#include <QTimer>
#include <exception>
#include <memory>

#include "AutoTestRun.h"
#include "Controls.h"
#include "Countrycode.h"
#include "GivenTextPrompt.h"
#include "Recorder.h"
#include "StationApplication.h"
#include "StationOptions.h"
#include "Unit1.h"

namespace {

std::optional<QString> AskUnitSerialNumber(QWidget* window) {
    return AskGivenText(window, "Unit serial number",
                        "Scan or type the serial number of the unit to test.", "serial number");
}

// The operator, when one answers; Escape or Cancel keeps the user logged in.
void AskOperator(QWidget* window, mv62rec::Recorder& recorder, const QString& login) {
    const QString question = "Your name for this station's records (Cancel keeps " + login + ").";
    if (const std::optional<QString> name = AskGivenText(window, "Operator", question, "name")) {
        recorder.SetOperator(*name);
    }
}

}  // namespace

int main(int argc, char** argv) {
    StationOptions options;
    if (const std::optional<int> exitCode = ReadStationOptions(argc, argv, options)) {
        return *exitCode;
    }
    const std::optional<QString> configError = ApplyStationConfig(options);
    if (options.autoTest) {
        if (configError) {
            PrintStandardError(*configError);
            return kExitUsage;
        }
        // No display is needed and no window is shown.
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }

    // Qt sees the program name only.
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    TStationApplication app(qtArgc, qtArgv);
    QApplication::setFont(StationFont());
    if (configError) {
        // The window does not open on a configuration that is wrong.
        ShowStandardError(nullptr, *configError);
        return kExitUsage;
    }

    // The recorder outlives the window and every serial component the window creates.
    const mv62rec::StationIdentity identity = StationIdentityOf(options);
    std::unique_ptr<mv62rec::Recorder> recorder;
    if (options.recordsFolder) {
        recorder = std::make_unique<mv62rec::Recorder>(*options.recordsFolder, identity);
    }

    // An error while the windows are created is shown like one that escapes the message loop,
    // and the program still ends with exit code 0; without a window it is printed and the run
    // counts as incomplete.
    try {
        auto Form1 = std::make_unique<TForm1>();
        if (recorder) {
            Form1->Observer = recorder.get();
        }
        if (options.autoTest) {
            if (options.unitSerial) {
                Form1->AskUnitSerial = [serial = *options.unitSerial] {
                    return std::optional<QString>(serial);
                };
            }
            Form1->ShowError = PrintStandardError;
            recorder->OnError = PrintStandardError;
            return RunAutoTest(*Form1, *recorder, options);
        }
        if (recorder) {
            recorder->OnError = [form = Form1.get()](const QString& message) {
                // Shown once the handler that met it has returned: a message box must not hold
                // up the start of the link or a receive event.
                QTimer::singleShot(0, form, [form, message] { form->ShowError(message); });
            };
            if (options.askSerial) {
                Form1->AskUnitSerial = [form = Form1.get()] { return AskUnitSerialNumber(form); };
            }
        }
        // The country dialog is a window of its own, owned by the main window, created hidden.
        Form1->CtCode = new TCtCode(Form1.get(), Form1->MemoArea);
        Form1->show();
        if (recorder && options.askOperator) {
            // Once, over the window that has just opened; links opened afterwards name them.
            QTimer::singleShot(0, Form1.get(),
                               [form = Form1.get(), rec = recorder.get(),
                                login = identity.operatorName] { AskOperator(form, *rec, login); });
        }
        app.exec();
    } catch (const std::exception& e) {
        if (options.autoTest) {
            PrintStandardError(QString::fromLocal8Bit(e.what()));
            return kExitIncomplete;
        }
        app.ShowException(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        if (options.autoTest) {
            return kExitIncomplete;
        }
        app.ShowException(QString());
    }
    if (recorder) {
        recorder->Shutdown();
    }
    return 0;
}
