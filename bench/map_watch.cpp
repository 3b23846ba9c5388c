// mv62-mapwatch: waits on an X display until a top-level window is mapped and prints the moment
// (CLOCK_REALTIME, nanoseconds) and the window, for timing a program's start-up from outside.
// It prints "ready" once it listens, so that the program under test is started after that.
//
//   mv62-mapwatch [TIMEOUT_SECONDS]     (default 30; exit 1 when nothing was mapped by then)
#include <X11/Xlib.h>
#include <poll.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>

namespace {

long long NowNs() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return ts.tv_sec * 1'000'000'000LL + ts.tv_nsec;
}

}  // namespace

int main(int argc, char** argv) {
    const double timeout = argc > 1 ? std::atof(argv[1]) : 30.0;
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "mv62-mapwatch: cannot open the display\n");
        return 2;
    }
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, False);
    std::printf("ready\n");
    std::fflush(stdout);

    const long long deadline = NowNs() + static_cast<long long>(timeout * 1e9);
    pollfd pfd{ConnectionNumber(display), POLLIN, 0};
    while (NowNs() < deadline) {
        while (XPending(display) > 0) {
            XEvent ev;
            XNextEvent(display, &ev);
            // Pop-ups (override-redirect) are not the main window.
            if (ev.type == MapNotify && !ev.xmap.override_redirect) {
                const long long at = NowNs();
                std::printf("mapped %lld 0x%lx\n", at, ev.xmap.window);
                std::fflush(stdout);
                XCloseDisplay(display);
                return 0;
            }
        }
        poll(&pfd, 1, 5);
    }
    XCloseDisplay(display);
    std::fprintf(stderr, "mv62-mapwatch: no window mapped within %.0f s\n", timeout);
    return 1;
}
