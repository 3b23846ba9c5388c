#include "StationApplication.h"

#include <QMessageBox>
#include <exception>

TStationApplication::TStationApplication(int& argc, char** argv) : QApplication(argc, argv) {
    ShowException = [](const QString& message) {
        QMessageBox::critical(QApplication::activeWindow(), ErrorTitle(), message);
    };
}

bool TStationApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ShowException(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        ShowException(QString());
    }
    return false;
}

QString TStationApplication::ErrorTitle() {
    const QString name = QCoreApplication::applicationName();
    return name.isEmpty() ? QStringLiteral("Error") : name;
}
