#include "PosixSerialDevice.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#ifdef __linux__
#include <linux/serial.h>
#endif

#include "PosixSpeeds.h"
#include "SerialErrors.h"

namespace {

bool DataBitsFlag(TDataBits bits, tcflag_t& flag) {
    switch (bits) {
        case DB5:
            flag = CS5;
            return true;
        case DB6:
            flag = CS6;
            return true;
        case DB7:
            flag = CS7;
            return true;
        case DB8:
            flag = CS8;
            return true;
        default:
            return false;
    }
}

bool ParityFlags(TParity parity, tcflag_t& flags) {
    switch (parity) {
        case None:
            flags = 0;
            return true;
        case Odd:
            flags = PARENB | PARODD;
            return true;
        case Even:
            flags = PARENB;
            return true;
#ifdef CMSPAR
        case Mark:
            flags = PARENB | PARODD | CMSPAR;
            return true;
        case Space:
            flags = PARENB | CMSPAR;
            return true;
#endif
        default:
            return false;
    }
}

bool IsGoneError(int err) {
    return err == EIO || err == ENXIO || err == ENODEV;
}

}  // namespace

PosixSerialDevice::~PosixSerialDevice() {
    Close();
}

bool PosixSerialDevice::Open(const std::string& path, SerialOpenError& error) {
    Close();
    disconnected_ = false;

    auto fail = [&error](int err, int fd) {
        error.kind = OpenFailureFromErrno(err);
        error.errorNumber = err;
        error.reason = std::strerror(err);
        if (fd >= 0)
            ::close(fd);
        return false;
    };

    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return fail(errno, -1);

    // Only a terminal device can carry the line settings.
    termios t{};
    if (::tcgetattr(fd, &t) < 0)
        return fail(errno, fd);

    // Exclusive use: TIOCEXCL keeps other opens out (except privileged ones), the lock also
    // catches a second open by a privileged process or by ourselves.
    if (::flock(fd, LOCK_EX | LOCK_NB) < 0) {
        const int err = errno;
        return fail(err == EWOULDBLOCK ? EBUSY : err, fd);
    }
    if (::ioctl(fd, TIOCEXCL) < 0)
        return fail(errno, fd);

    fd_ = fd;
    error = {};
    LineErrorsSinceLastQuery();  // starting point of the error counters
    return true;
}

void PosixSerialDevice::Close() {
    if (fd_ < 0)
        return;
    ::ioctl(fd_, TIOCNXCL);
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
    fd_ = -1;
    disconnected_ = false;
    haveCounters_ = false;
}

bool PosixSerialDevice::SetQueueSizes(int, int) {
    // The kernel's tty queues have a fixed size.
    return fd_ >= 0;
}

void PosixSerialDevice::PurgeAll() {
    if (fd_ >= 0)
        ::tcflush(fd_, TCIOFLUSH);
}

void PosixSerialDevice::PurgeInput() {
    if (fd_ >= 0)
        ::tcflush(fd_, TCIFLUSH);
}

bool PosixSerialDevice::ApplySettings(const SerialLineSettings& s) {
    if (fd_ < 0)
        return false;
    speed_t speed{};
    tcflag_t size{};
    tcflag_t parity{};
    if (!PosixSpeedCode(s.baudRate, speed) || !DataBitsFlag(s.dataBits, size) ||
        !ParityFlags(s.parity, parity) || s.stopBits > SB2) {
        return false;  // the port keeps its settings
    }

    termios t{};
    if (::tcgetattr(fd_, &t) < 0)
        return false;
    ::cfmakeraw(&t);
    if (::cfsetispeed(&t, speed) < 0 || ::cfsetospeed(&t, speed) < 0)
        return false;

    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
#ifdef CMSPAR
    t.c_cflag &= ~CMSPAR;
#endif
    t.c_cflag |= size | parity | CLOCAL | CREAD;
    if (s.stopBits != SB1)
        t.c_cflag |= CSTOPB;  // 1.5 stop bits go out as 2
    if (s.rtsHandshake)
        t.c_cflag |= CRTSCTS;

    t.c_iflag &= ~(INPCK | IXON | IXOFF | IXANY);
    if (s.checkParity)
        t.c_iflag |= INPCK;
    if (s.xonXoff)
        t.c_iflag |= IXON | IXOFF;

    // Reads return at once with what is there.
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;

    if (::tcsetattr(fd_, TCSANOW, &t) < 0)
        return false;
    if (s.rtsOn)
        SetRts(true);
    return true;
}

void PosixSerialDevice::SetModemLine(int line, bool on) {
    // Pseudo-terminals have no modem lines; the failure is ignored.
    if (fd_ >= 0)
        ::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &line);
}

void PosixSerialDevice::SetDtr(bool on) {
    SetModemLine(TIOCM_DTR, on);
}

void PosixSerialDevice::SetRts(bool on) {
    SetModemLine(TIOCM_RTS, on);
}

void PosixSerialDevice::NoteFailure(int err) {
    if (IsGoneError(err))
        disconnected_ = true;
}

std::uint32_t PosixSerialDevice::LineErrorsSinceLastQuery() {
#if defined(__linux__) && defined(TIOCGICOUNT)
    serial_icounter_struct c{};
    if (fd_ < 0 || ::ioctl(fd_, TIOCGICOUNT, &c) < 0)
        return 0;
    const int overruns = c.overrun + c.buf_overrun;  // UART and tty buffer overruns
    std::uint32_t flags = 0;
    if (haveCounters_) {
        if (overruns != overrunCount_)
            flags |= kErrorOverrun;
        if (c.parity != parityCount_)
            flags |= kErrorParity;
        if (c.frame != frameCount_)
            flags |= kErrorFrame;
        if (c.brk != breakCount_)
            flags |= kErrorBreak;
    }
    haveCounters_ = true;
    overrunCount_ = overruns;
    parityCount_ = c.parity;
    frameCount_ = c.frame;
    breakCount_ = c.brk;
    return flags;
#else
    return 0;
#endif
}

bool PosixSerialDevice::QueryStatus(std::uint32_t& bytesWaiting, std::uint32_t& errorFlags) {
    bytesWaiting = 0;
    errorFlags = 0;
    if (fd_ < 0 || disconnected_)
        return false;

    // A hung-up line (adapter unplugged, other end closed) shows as POLLHUP or POLLERR.
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
        disconnected_ = true;
        return false;
    }
    int waiting = 0;
    if (::ioctl(fd_, FIONREAD, &waiting) < 0) {
        NoteFailure(errno);
        return false;
    }
    bytesWaiting = waiting > 0 ? static_cast<std::uint32_t>(waiting) : 0;
    errorFlags = LineErrorsSinceLastQuery();
    return true;
}

bool PosixSerialDevice::QueryModemStatus(std::uint32_t& lines) {
    int bits = 0;
    if (fd_ < 0 || disconnected_ || ::ioctl(fd_, TIOCMGET, &bits) < 0)
        return false;
    lines = 0;
    if (bits & TIOCM_CTS)
        lines |= kModemCts;
    if (bits & TIOCM_DSR)
        lines |= kModemDsr;
    if (bits & TIOCM_RI)
        lines |= kModemRing;
    if (bits & TIOCM_CD)
        lines |= kModemCarrier;
    return true;
}

int PosixSerialDevice::Read(std::uint8_t* buffer, int n) {
    if (fd_ < 0)
        return -1;
    if (n <= 0)
        return 0;
    for (;;) {
        const ssize_t r = ::read(fd_, buffer, static_cast<size_t>(n));
        if (r > 0)
            return static_cast<int>(r);
        if (r == 0) {
            // End of file on a terminal: the line has been hung up.
            disconnected_ = true;
            return -1;
        }
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0;
        NoteFailure(errno);
        return -1;
    }
}

bool PosixSerialDevice::Write(const std::uint8_t* data, int n) {
    if (fd_ < 0)
        return false;
    int done = 0;
    while (done < n) {
        const ssize_t r = ::write(fd_, data + done, static_cast<size_t>(n - done));
        if (r > 0) {
            done += static_cast<int>(r);
            continue;
        }
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // The output queue is full: wait until it drains, but not forever.
            pollfd p{fd_, POLLOUT, 0};
            const int ready = ::poll(&p, 1, kWriteStallMs);
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready <= 0)
                return false;
            if ((p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
                disconnected_ = true;
                return false;
            }
            continue;
        }
        if (r < 0)
            NoteFailure(errno);
        return false;
    }
    return true;
}

std::unique_ptr<SerialDevice> MakePlatformSerialDevice() {
    return std::make_unique<PosixSerialDevice>();
}

namespace {

namespace fs = std::filesystem;

// The names in a directory; none when it cannot be read.
std::vector<std::string> DirectoryNames(const fs::path& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        names.push_back(it->path().filename().string());
    return names;
}

// The number of a device node named `prefix` and digits (ttyUSB12: 12), -1 for any other name.
int DeviceNumber(const std::string& name, const std::string& prefix) {
    if (name.size() <= prefix.size() || name.size() > prefix.size() + 6 ||
        name.compare(0, prefix.size(), prefix) != 0) {
        return -1;
    }
    int n = 0;
    for (std::size_t i = prefix.size(); i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9')
            return -1;
        n = n * 10 + (name[i] - '0');
    }
    return n;
}

// A ttyS answers when the kernel found a UART behind it: its type in sysfs is not "unknown".
// Reading sysfs does not open the port, so no modem line of an attached device moves.
bool UartPresent(const fs::path& sysTtyDir, const std::string& name) {
    std::ifstream typeFile(sysTtyDir / name / "type");
    int type = 0;
    return static_cast<bool>(typeFile >> type) && type != 0;  // 0: PORT_UNKNOWN
}

}  // namespace

std::vector<SerialDeviceEntry> ListSerialDevicesIn(const std::string& devDir,
                                                   const std::string& sysTtyDir) {
    std::vector<SerialDeviceEntry> found;

    // Stable names first, each with the device it points to.
    const fs::path byId = fs::path(devDir) / "serial" / "by-id";
    std::vector<std::string> stable = DirectoryNames(byId);
    std::sort(stable.begin(), stable.end());
    for (const std::string& name : stable) {
        std::error_code ec;
        const fs::path target = fs::canonical(byId / name, ec);
        found.push_back({(byId / name).string(), ec ? std::string() : target.string()});
    }

    // Then the device nodes by kind and number; a device already shown as the target of a
    // stable name is not listed twice.
    const std::vector<std::string> nodes = DirectoryNames(devDir);
    for (const std::string prefix : {"ttyUSB", "ttyACM", "ttyS"}) {
        std::vector<std::pair<int, std::string>> numbered;
        for (const std::string& name : nodes) {
            const int n = DeviceNumber(name, prefix);
            if (n >= 0 && (prefix != "ttyS" || UartPresent(sysTtyDir, name)))
                numbered.emplace_back(n, name);
        }
        std::sort(numbered.begin(), numbered.end());
        for (const auto& [n, name] : numbered) {
            const std::string path = (fs::path(devDir) / name).string();
            const bool shown = std::any_of(found.begin(), found.end(),
                                           [&](const auto& e) { return e.target == path; });
            if (!shown)
                found.push_back({path, {}});
        }
    }
    return found;
}

std::vector<SerialDeviceEntry> ListSerialDevices() {
    return ListSerialDevicesIn("/dev", "/sys/class/tty");
}
