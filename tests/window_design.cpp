// Prints the designed rectangle of main-window controls in window client coordinates, one line
// "left top width height" per name, for the scripts that click and look at the real window.
//   window_design NAME...
#include <cstdio>
#include <stdexcept>

#include "WindowPlaces.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s NAME...\n", argv[0]);
        return 2;
    }
    for (int i = 1; i < argc; ++i) {
        try {
            const TDesignRect r = DesignInWindow(argv[i]);
            std::printf("%d %d %d %d\n", r.left, r.top, r.width, r.height);
        } catch (const std::out_of_range& e) {
            std::fprintf(stderr, "%s: %s\n", argv[0], e.what());
            return 2;
        }
    }
    return 0;
}
