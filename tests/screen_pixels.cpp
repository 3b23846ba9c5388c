// Prints the colour of screen points of the X display as #RRGGBB, one line per point, from one
// grab; optionally saves the grab. Used by the end-to-end tests to watch the station's indicators.
//   screen_pixels [--save PNG] X,Y [X,Y ...]
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        std::fprintf(stderr, "screen_pixels: no screen\n");
        return 2;
    }
    const QImage grab = screen->grabWindow(0).toImage();
    int i = 1;
    if (argc > 2 && std::strcmp(argv[1], "--save") == 0) {
        if (!grab.save(QString::fromLocal8Bit(argv[2]))) {
            std::fprintf(stderr, "screen_pixels: cannot save %s\n", argv[2]);
            return 2;
        }
        i = 3;
    }
    for (; i < argc; ++i) {
        int x = 0;
        int y = 0;
        if (std::sscanf(argv[i], "%d,%d", &x, &y) != 2 || !grab.valid(x, y)) {
            std::fprintf(stderr, "screen_pixels: bad point %s\n", argv[i]);
            return 2;
        }
        const QColor c = grab.pixelColor(x, y);
        std::printf("#%02X%02X%02X\n", c.red(), c.green(), c.blue());
    }
    return 0;
}
