// Grabs the X screen with the station running, saves it, and checks known pixels of the main
// window as a technician would see them right after start-up.
//   screenshot_check <png> <client x> <client y> <client width> <client height>
#include <QColor>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QStringList>
#include <QThread>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include "Controls.h"
#include "WindowPlaces.h"

namespace {

struct Checker {
    QImage screen;
    QPoint origin;  // the window's client origin on the screen
    QStringList failures;

    QColor At(int x, int y) const { return QColor(screen.pixel(origin + QPoint(x, y))); }

    void Expect(const char* what, int x, int y, QColor expected, int tolerance = 0) {
        const QColor c = At(x, y);
        if (std::abs(c.red() - expected.red()) > tolerance ||
            std::abs(c.green() - expected.green()) > tolerance ||
            std::abs(c.blue() - expected.blue()) > tolerance) {
            failures << QString("%1 at window (%2, %3): %4, expected %5")
                            .arg(what)
                            .arg(x)
                            .arg(y)
                            .arg(c.name(), expected.name());
        }
    }

    // Some pixel of the window rectangle passes the test: "this colour", "text in red", ...
    void ExpectSomewhere(const char* what, QRect area, const char* looksLike,
                         const std::function<bool(QColor)>& test) {
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x) {
                if (test(At(x, y))) {
                    return;
                }
            }
        }
        failures << QString("%1: no %2 pixel in window rectangle (%3, %4, %5 x %6)")
                        .arg(what, looksLike)
                        .arg(area.x())
                        .arg(area.y())
                        .arg(area.width())
                        .arg(area.height());
    }

    // A designed control's rectangle in window coordinates.
    static QRect Designed(const char* name) {
        const TDesignRect r = DesignInWindow(name);
        return {r.left, r.top, r.width, r.height};
    }

    void Run() {
        const QColor black(0, 0, 0), white(255, 255, 255), face = ButtonFaceColor();
        const QColor threshold(0x00, 0x66, 0x00);  // 0x6600FF00 blended over black
        // Panel1 holds the six columns the window builds at run time, 50 wide, 51 apart.
        const QRect panel1 = Designed("Panel1");
        const int col0 = panel1.left(), col1 = col0 + 51, top = panel1.top();
        Expect("column 0 background", col0 + 40, top + 200, black);
        Expect("column 5 background", col0 + 255 + 25, top + 300, black);
        Expect("column 0 threshold row 432", col0 + 30, top + 432, threshold, 1);
        Expect("column 0 threshold row 432, right edge", col0 + 49, top + 432, threshold, 1);
        Expect("column 0 above the threshold", col0 + 30, top + 431, black);
        Expect("column 0 below the threshold", col0 + 30, top + 433, black);
        Expect("column 1 threshold row 402", col1 + 30, top + 402, threshold, 1);
        Expect("column 1 at row 432", col1 + 30, top + 432, black);
        // The canvas draws its text without antialiasing: pure green pixels.
        const auto green = [](QColor c) { return c == QColor(0, 255, 0); };
        ExpectSomewhere("column 0 threshold number", QRect(col0, top + 433, 20, 14), "green",
                        green);
        ExpectSomewhere("column 1 threshold number", QRect(col1, top + 403, 20, 14), "green",
                        green);
        Expect("gap between columns 0 and 1", col0 + 50, top + 200, face);

        // The status panel: white, with its indicators and cream value fields.
        const QRect panel2 = Designed("Panel2");
        Expect("status panel", panel2.left() + 250, panel2.top() + 250, white);
        Expect("status panel", panel2.left() + 270, panel2.top() + 20, white);
        const QRect shape4 = Designed("Shape4");
        Expect("Shape4 fill", shape4.left() + 8, shape4.top() + 8, white);
        const auto dark = [](QColor c) { return c.lightness() < 100; };
        ExpectSomewhere("Shape4 outline", QRect(shape4.left(), shape4.top() + 8, 17, 1), "dark",
                        dark);
        const QRect label10 = Designed("Label10");
        Expect("Label10 background", label10.left() + 40, label10.top() + 6,
               QColor(0xFF, 0xFB, 0xF0));
        ExpectSomewhere("Label6 caption", QRect(Designed("Label6").topLeft(), QSize(60, 13)),
                        "dark", dark);

        const QRect label48 = Designed("Label48");
        Expect("Label48 background", label48.left() + 70, label48.top() + 20,
               QColor(0xC0, 0xC0, 0xC0));
        // Window text is antialiased: a red caption has strongly red pixels.
        const auto red = [](QColor c) {
            return c.red() > 200 && c.green() < 120 && c.blue() < 120;
        };
        ExpectSomewhere("Label48 caption", QRect(label48.topLeft(), QSize(40, 16)), "red", red);
        ExpectSomewhere("Label40 caption", QRect(Designed("Label40").topLeft(), QSize(20, 13)),
                        "red", red);
        const auto blue = [](QColor c) {
            return c.blue() > 200 && c.red() < 120 && c.green() < 120;
        };
        // The first drive value label, built at run time under the first column.
        ExpectSomewhere("DriveLabel[0] caption", QRect(45, 560, 20, 17), "blue", blue);

        // Face colour where nothing is placed.
        Expect("window face", 700, 600, face);
        Expect("window face right of the maintenance panel", 1020, 300, face);
        Expect("window face bottom right", 1040, 690, face);
        Expect("window face where the country panel stays hidden", 600, 520, face);
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: %s <png> <x> <y> <width> <height>\n", argv[0]);
        return 2;
    }
    QGuiApplication app(argc, argv);
    const QString png = QString::fromLocal8Bit(argv[1]);
    const QPoint origin(std::atoi(argv[2]), std::atoi(argv[3]));
    const QSize size(std::atoi(argv[4]), std::atoi(argv[5]));

    QStringList failures;
    const TDesignRect& window = DesignOf("Form1");
    if (origin != QPoint(window.left, window.top)) {
        failures << QString("window client origin (%1, %2), expected (%3, %4)")
                        .arg(origin.x())
                        .arg(origin.y())
                        .arg(window.left)
                        .arg(window.top);
    }
    if (size != QSize(window.width, window.height)) {
        failures << QString("window client size %1 x %2, expected %3 x %4")
                        .arg(size.width())
                        .arg(size.height())
                        .arg(window.width)
                        .arg(window.height);
    }

    // The window may be mapped before it has painted: look again for a while before failing.
    Checker checker;
    for (int attempt = 0; attempt < 50; ++attempt) {
        checker = Checker{QGuiApplication::primaryScreen()->grabWindow(0).toImage(), origin, {}};
        checker.Run();
        if (checker.failures.isEmpty()) {
            break;
        }
        QThread::msleep(200);
    }
    if (!checker.screen.save(png)) {
        failures << QString("cannot save %1").arg(png);
    }
    failures << checker.failures;
    for (const QString& f : failures) {
        std::fprintf(stderr, "FAIL: %s\n", qPrintable(f));
    }
    std::printf("screenshot: %s\n", qPrintable(png));
    return failures.isEmpty() ? 0 : 1;
}
