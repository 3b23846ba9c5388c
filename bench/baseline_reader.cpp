// mv62-baseline: the least a Qt Widgets program can do with the station's serial traffic. One
// plain window of the station's size; when given a port it opens it like the station (raw, 8E1,
// the given speed), starts the device's sensor stream with the same commands the station sends
// (start link, then sensor run), and every 100 ms reads whatever waits, counts it and throws it
// away. On SIGINT or SIGTERM it prints the count and exits.
//
//   mv62-baseline [--port PATH] [--baud N]
#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "HostCommands.h"
#include "PosixSpeeds.h"

namespace {

volatile sig_atomic_t g_stop = 0;

void OnStop(int) {
    g_stop = 1;
}

int OpenPort(const std::string& path, speed_t speed) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        std::fprintf(stderr, "mv62-baseline: cannot open %s: %s\n", path.c_str(),
                     std::strerror(errno));
        return -1;
    }
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD | PARENB;
    t.c_cflag &= ~(PARODD | CSTOPB | CSIZE | CRTSCTS);
    t.c_cflag |= CS8;
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    tcsetattr(fd, TCSANOW, &t);
    tcflush(fd, TCIOFLUSH);
    return fd;
}

void Send(int fd, std::uint8_t command) {
    for (std::uint8_t b : mv62::PlainCommand(command)) {
        if (write(fd, &b, 1) != 1) {
            std::fprintf(stderr, "mv62-baseline: write failed: %s\n", std::strerror(errno));
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::string port;
    int baud = 115200;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--port" && i + 1 < argc) {
            port = argv[++i];
        } else if (a == "--baud" && i + 1 < argc) {
            baud = std::atoi(argv[++i]);
        } else {
            baud = 0;  // anything else: the usage
        }
        if (std::ranges::count(mv62::kLineSpeeds, baud) == 0) {
            std::fprintf(stderr,
                         "usage: mv62-baseline [--port PATH] [--baud N], N one of the "
                         "station's speeds 9600 to 115200\n");
            return 2;
        }
    }
    signal(SIGINT, OnStop);
    signal(SIGTERM, OnStop);

    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication app(qtArgc, qtArgv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("mv62-baseline"));
    window.move(361, 154);  // the station's window, as designed
    window.resize(1050, 707);
    window.show();

    speed_t speed{};
    PosixSpeedCode(baud, speed);
    const int fd = port.empty() ? -1 : OpenPort(port, speed);
    if (!port.empty() && fd < 0) {
        return 1;
    }
    if (fd >= 0) {
        Send(fd, mv62::cmd::StartLink);
        QTimer::singleShot(500, &app, [fd] { Send(fd, mv62::cmd::SensorRun); });
    }

    long long received = 0;
    std::array<std::uint8_t, 8192> buffer{};
    QTimer poll;
    poll.setInterval(100);
    QObject::connect(&poll, &QTimer::timeout, &app, [&] {
        if (fd >= 0) {
            int waiting = 0;
            if (ioctl(fd, FIONREAD, &waiting) == 0 && waiting > 0) {
                for (;;) {
                    const ssize_t n = read(fd, buffer.data(), buffer.size());
                    if (n <= 0) {
                        break;
                    }
                    received += n;
                }
            }
        }
        if (g_stop != 0) {
            app.quit();
        }
    });
    poll.start();
    app.exec();

    if (fd >= 0) {
        close(fd);
    }
    std::printf("mv62-baseline: received %lld bytes\n", received);
    std::fflush(stdout);
    return 0;
}
