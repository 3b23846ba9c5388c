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
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

volatile sig_atomic_t g_stop = 0;

void OnStop(int) {
    g_stop = 1;
}

speed_t SpeedConstant(int baud) {
    switch (baud) {
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        default:
            return B115200;
    }
}

int OpenPort(const std::string& path, int baud) {
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
    cfsetispeed(&t, SpeedConstant(baud));
    cfsetospeed(&t, SpeedConstant(baud));
    tcsetattr(fd, TCSANOW, &t);
    tcflush(fd, TCIOFLUSH);
    return fd;
}

void Send(int fd, std::initializer_list<std::uint8_t> bytes) {
    for (std::uint8_t b : bytes) {
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
            std::fprintf(stderr, "usage: mv62-baseline [--port PATH] [--baud N]\n");
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
    window.move(361, 154);
    window.resize(1050, 707);
    window.show();

    const int fd = port.empty() ? -1 : OpenPort(port, baud);
    if (!port.empty() && fd < 0) {
        return 1;
    }
    if (fd >= 0) {
        Send(fd, {0x55, 0xAA, 0x00});                                           // start link
        QTimer::singleShot(500, &app, [fd] { Send(fd, {0x55, 0xAA, 0x02}); });  // sensor run
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
