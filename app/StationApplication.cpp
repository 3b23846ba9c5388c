#include "StationApplication.h"

#include <QMessageBox>
#include <QPixmapCache>
#include <cstdio>
#include <exception>

#include "SafeText.h"
#include "SerialErrors.h"

void PrintStandardError(const QString& message) {
    const std::string line = mv62rec::TerminalText(SingleLine(message.toStdString()));
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}

void ShowStandardError(QWidget* parent, const QString& message) {
    if (!message.isEmpty()) {
        PrintStandardError(message);
    }
    // A message can quote a file name, a device's text or a configured value: shown as plain
    // text, never read as markup.
    QMessageBox box(QMessageBox::Critical, TStationApplication::ErrorTitle(), message,
                    QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

TStationApplication::TStationApplication(int& argc, char** argv) : QApplication(argc, argv) {
    // The style keeps a picture of every button face it draws, some 0.5 MB for the station's
    // window, to save redrawing faces that change a few times a run; it draws them anew.
    QPixmapCache::setCacheLimit(0);
    ShowException = [](const QString& message) {
        ShowStandardError(QApplication::activeWindow(), message);
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
