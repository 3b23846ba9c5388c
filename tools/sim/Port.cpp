#include "sim/Port.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "PosixSpeeds.h"

namespace mv62sim {

namespace {

// Raw bytes both ways (no echo, no line editing, no XON/XOFF, no CR/LF translation),
// 8 data bits, even parity, 1 stop bit, no modem control.
bool MakeRaw(int fd, int baud) {
    termios t{};
    speed_t speed{};
    if (!PosixSpeedCode(baud, speed) || tcgetattr(fd, &t) != 0) {
        return false;
    }
    cfmakeraw(&t);
    t.c_cflag &= ~(CSIZE | PARODD | CSTOPB | CRTSCTS);
    t.c_cflag |= CS8 | PARENB | CLOCAL | CREAD;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

std::string Failed(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

void SetFlags(int fd, int fdFlags, int statusFlags) {
    fcntl(fd, F_SETFD, fcntl(fd, F_GETFD) | fdFlags);
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | statusFlags);
}

}  // namespace

std::unique_ptr<SimPort> SimPort::OpenPseudoTerminal(int baud, std::string& error) {
    std::unique_ptr<SimPort> port(new SimPort);
    port->fd_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (port->fd_ < 0) {
        error = Failed("posix_openpt");
        return nullptr;
    }
    SetFlags(port->fd_, FD_CLOEXEC, O_NONBLOCK);
    if (grantpt(port->fd_) != 0 || unlockpt(port->fd_) != 0) {
        error = Failed("grantpt/unlockpt");
        return nullptr;
    }
    std::vector<char> name(128);
    if (ptsname_r(port->fd_, name.data(), name.size()) != 0) {
        error = Failed("ptsname");
        return nullptr;
    }
    port->path_ = name.data();
    // Keep the station's side open ourselves: without it, the station closing the port would
    // hang up the line under us.
    port->holdFd_ = open(port->path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (port->holdFd_ < 0) {
        error = Failed(port->path_.c_str());
        return nullptr;
    }
    if (!MakeRaw(port->holdFd_, baud)) {
        error = Failed("raw mode");
        return nullptr;
    }
    return port;
}

std::unique_ptr<SimPort> SimPort::OpenSerialDevice(const std::string& path, int baud,
                                                   std::string& error) {
    std::unique_ptr<SimPort> port(new SimPort);
    port->path_ = path;
    port->fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (port->fd_ < 0) {
        error = Failed(path.c_str());
        return nullptr;
    }
    if (!MakeRaw(port->fd_, baud)) {
        error = Failed("line settings");
        return nullptr;
    }
    tcflush(port->fd_, TCIOFLUSH);
    return port;
}

SimPort::~SimPort() {
    if (holdFd_ >= 0) {
        close(holdFd_);
    }
    if (fd_ >= 0) {
        close(fd_);
    }
}

// The station marks the port for exclusive use (TIOCEXCL) and locks it (flock) while it has it
// open. On a real serial port the mark goes when the last user closes it; on a pseudo-terminal
// whose other side stays open it stays, and a station that is not run as root could not open
// the port again. So when the mark is set but nobody holds the lock, twice in a row, the
// station has closed the port: take the mark off.
bool SimPort::ReleaseExclusiveUseAfterClose() {
#ifdef TIOCGEXCL
    if (holdFd_ < 0) {
        return false;
    }
    int exclusive = 0;
    if (ioctl(holdFd_, TIOCGEXCL, &exclusive) != 0 || exclusive == 0) {
        unlockedChecks_ = 0;
        return false;
    }
    if (flock(holdFd_, LOCK_EX | LOCK_NB) != 0) {
        unlockedChecks_ = 0;  // the station holds it
        return false;
    }
    flock(holdFd_, LOCK_UN);
    if (++unlockedChecks_ < 2) {
        return false;
    }
    unlockedChecks_ = 0;
    return ioctl(holdFd_, TIOCNXCL) == 0;
#else
    return false;
#endif
}

bool DeviceLink::Create(const std::string& linkPath, const std::string& target,
                        std::string& error) {
    struct stat st {};
    if (lstat(linkPath.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        error = linkPath + " exists and is not a symbolic link; not replacing it";
        return false;
    }
    // Make the new link beside the old one and rename it over, so the path is never missing.
    const std::string temporary = linkPath + ".mv62-sim." + std::to_string(getpid());
    unlink(temporary.c_str());
    if (symlink(target.c_str(), temporary.c_str()) != 0) {
        error = Failed(temporary.c_str());
        return false;
    }
    if (rename(temporary.c_str(), linkPath.c_str()) != 0) {
        error = Failed(linkPath.c_str());
        unlink(temporary.c_str());
        return false;
    }
    link_ = linkPath;
    target_ = target;
    return true;
}

DeviceLink::~DeviceLink() {
    if (link_.empty()) {
        return;
    }
    // Leave a link that another simulator has put there since.
    std::vector<char> buffer(target_.size() + 2);
    const ssize_t n = readlink(link_.c_str(), buffer.data(), buffer.size());
    if (n >= 0 && std::string(buffer.data(), static_cast<std::size_t>(n)) == target_) {
        unlink(link_.c_str());
    }
}

}  // namespace mv62sim
