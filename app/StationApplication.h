#pragma once
// The station's application object: an error that escapes an event handler is shown with the
// standard error display, and the message loop goes on.
#include <QApplication>
#include <QString>
#include <functional>

class QWidget;

// The standard error display: the message goes to standard error as one line, then into a
// message box over `parent`.
void ShowStandardError(QWidget* parent, const QString& message);
// Its console half alone: one line on standard error, line breaks as blanks and any other control
// character shown as an escape (a message can quote a device path or a file name).
void PrintStandardError(const QString& message);

class TStationApplication : public QApplication {
    Q_OBJECT
  public:
    TStationApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // Shows an error that reached the message loop: the exception's text, or an empty message
    // for anything that is not a standard exception. Tests replace it.
    std::function<void(const QString& message)> ShowException;

    // Title of the standard error display: the application's name, or "Error" without one.
    static QString ErrorTitle();
};
