// TComm on a real pseudo-terminal: the master end plays the device.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "Comm.h"
#include "PosixSerialDevice.h"
#include "SerialErrors.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Upper bound for the kernel to move bytes across the pty; only reached when something is broken.
constexpr int kArrivalLimitMs = 5000;

class PtyLink : public ::testing::Test {
  protected:
    void SetUp() override {
        int slave = -1;
        char name[128] = {};
        ASSERT_EQ(openpty(&master_, &slave, name, nullptr, nullptr), 0) << std::strerror(errno);
        ::close(slave);  // the component opens the slave end by its name
        slavePath_ = name;
        setenv("MV62_COM1", name, 1);
    }
    void TearDown() override {
        unsetenv("MV62_COM1");
        if (master_ >= 0)
            ::close(master_);
    }

    // A component on COM1 whose device stays visible to the test.
    std::unique_ptr<TComm> MakeComm(int speedIndex, PosixSerialDevice** device = nullptr) {
        auto comm = std::make_unique<TComm>(nullptr, 0, speedIndex, [device] {
            auto d = std::make_unique<PosixSerialDevice>();
            if (device)
                *device = d.get();
            return std::unique_ptr<SerialDevice>(std::move(d));
        });
        comm->ProcessMessages = [] {};
        return comm;
    }

    static bool WaitReadable(int fd) {
        pollfd p{fd, POLLIN, 0};
        return ::poll(&p, 1, kArrivalLimitMs) > 0;
    }

    Bytes ReadMaster(std::size_t count) {
        Bytes got;
        while (got.size() < count && WaitReadable(master_)) {
            std::uint8_t buf[256];
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n <= 0)
                break;
            got.insert(got.end(), buf, buf + n);
        }
        return got;
    }

    int master_ = -1;
    std::string slavePath_;
};

TEST_F(PtyLink, OpensWithTheChosenSpeedAndRawEightBits) {
    PosixSerialDevice* device = nullptr;
    auto comm = MakeComm(2, &device);  // 38400
    comm->SetPortOpen(true);
    ASSERT_TRUE(comm->PortOpen()) << comm->LastOpenError().reason;
    EXPECT_EQ(comm->DevicePath(), slavePath_);

    termios t{};
    ASSERT_EQ(tcgetattr(device->Handle(), &t), 0);
    EXPECT_EQ(cfgetospeed(&t), B38400);
    EXPECT_EQ(cfgetispeed(&t), B38400);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_NE(t.c_cflag & CREAD, 0u);
    EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | INPCK | ICRNL), 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);

    // A new speed while open is applied; a speed the port cannot take leaves it as it was.
    comm->SetBaudRate(115200);
    ASSERT_EQ(tcgetattr(device->Handle(), &t), 0);
    EXPECT_EQ(cfgetospeed(&t), B115200);
    comm->SetBaudRate(0);
    EXPECT_FALSE(comm->_SetCommState());
    ASSERT_EQ(tcgetattr(device->Handle(), &t), 0);
    EXPECT_EQ(cfgetospeed(&t), B115200);
    comm->SetBaudRate(12345);
    EXPECT_FALSE(comm->_SetCommState());
    // The pty driver keeps the stop bits (it forces 8 data bits and drops parity).
    comm->SetBaudRate(9600);
    comm->SetStopBits(SB2);
    ASSERT_EQ(tcgetattr(device->Handle(), &t), 0);
    EXPECT_EQ(cfgetospeed(&t), B9600);
    EXPECT_NE(t.c_cflag & CSTOPB, 0u);
}

TEST_F(PtyLink, BytesTravelBothWays) {
    PosixSerialDevice* device = nullptr;
    auto comm = MakeComm(0, &device);
    comm->SetPortOpen(true);
    ASSERT_TRUE(comm->PortOpen()) << comm->LastOpenError().reason;

    int events = 0;
    Bytes received;
    comm->OnReceiveData = [&](TComm* sender) {
        ++events;
        const std::string block = sender->ReadInputData();
        received.insert(received.end(), block.begin(), block.end());
    };

    const Bytes frame = {0x55, 0xAA, 0x00, 0x4D, 0x56, 0x00, 0xFF, 0x0A, 0x0D, 0x11, 0x13};
    ASSERT_EQ(::write(master_, frame.data(), frame.size()), static_cast<ssize_t>(frame.size()));
    ASSERT_TRUE(WaitReadable(device->Handle()));

    // Until the owner sets a threshold, waiting bytes raise nothing.
    comm->ProcTimer();
    EXPECT_EQ(events, 0);

    comm->SetRThreshold(1);
    for (int i = 0; i < 100 && received.size() < frame.size(); ++i) {
        if (i > 0)
            WaitReadable(device->Handle());
        comm->ProcTimer();
    }
    EXPECT_EQ(received, frame);  // raw: no translation of CR, LF, XON, XOFF
    EXPECT_GE(events, 1);

    const Bytes command = {0x55, 0xAA, 0x07, 0x0D, 0x0A, 0x00};
    for (std::uint8_t b : command)
        EXPECT_TRUE(comm->OutputChar(b));
    EXPECT_EQ(ReadMaster(command.size()), command);
}

// The first sentence of the technician's message for the last failed open.
std::string FirstSentence(const TComm& comm) {
    const std::string text = comm.OpenErrorText();
    return text.substr(0, text.find('\n'));
}

TEST_F(PtyLink, OpenFailuresAreReportedInPlainWords) {
    auto first = MakeComm(0);
    first->SetPortOpen(true);
    ASSERT_TRUE(first->PortOpen()) << first->LastOpenError().reason;

    // The port is held exclusively.
    auto second = MakeComm(0);
    second->SetPortOpen(true);
    EXPECT_FALSE(second->PortOpen());
    EXPECT_EQ(second->LastOpenError().errorNumber, EBUSY);
    EXPECT_EQ(second->LastOpenError().kind, SerialOpenFailure::InUse);
    EXPECT_EQ(FirstSentence(*second), "COM1 (" + slavePath_ + ") is in use by another program.");
    EXPECT_FALSE(second->OutputChar(0x55));

    first->SetPortOpen(false);
    second->SetPortOpen(true);
    EXPECT_TRUE(second->PortOpen()) << second->LastOpenError().reason;
    second->SetPortOpen(false);

    // Paths that name no serial port: missing, not a terminal, a directory, a plain file.
    char dir[] = "/tmp/mv62-open-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string file = std::string(dir) + "/capture.bin";
    ::close(::open(file.c_str(), O_CREAT | O_WRONLY, 0644));
    const struct {
        std::string path;
        SerialOpenFailure kind;
        const char* words;
    } cases[] = {{"/dev/mv62-no-such-port", SerialOpenFailure::Missing, "does not exist."},
                 {"/dev/null", SerialOpenFailure::NotSerial, "is not a serial port."},
                 {dir, SerialOpenFailure::NotSerial, "is not a serial port."},
                 {file, SerialOpenFailure::NotSerial, "is not a serial port."}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        setenv("MV62_COM1", c.path.c_str(), 1);
        auto comm = MakeComm(0);
        comm->SetPortOpen(true);
        EXPECT_FALSE(comm->PortOpen());
        EXPECT_EQ(comm->DevicePath(), c.path);
        EXPECT_EQ(comm->LastOpenError().kind, c.kind);
        EXPECT_EQ(FirstSentence(*comm), "COM1 (" + c.path + ") " + c.words);
    }
    std::filesystem::remove_all(dir);
}

TEST_F(PtyLink, DeviceGoingAwayIsReportedOnce) {
    auto comm = MakeComm(0);
    comm->SetPortOpen(true);
    ASSERT_TRUE(comm->PortOpen()) << comm->LastOpenError().reason;
    comm->SetRThreshold(1);
    int receives = 0;
    int gone = 0;
    comm->OnReceiveData = [&](TComm* sender) {
        ++receives;
        sender->ReadInputData();
    };
    comm->OnDisconnect = [&](TComm*) { ++gone; };

    const std::uint8_t b = 0x55;
    ASSERT_EQ(::write(master_, &b, 1), 1);
    ::close(master_);
    master_ = -1;

    for (int i = 0; i < 200; ++i)
        comm->ProcTimer();
    EXPECT_EQ(gone, 1);
    EXPECT_FALSE(comm->PollTimer().isActive());
    EXPECT_FALSE(comm->OutputChar(0x55));
    comm->SetPortOpen(false);
    EXPECT_FALSE(comm->PortOpen());
    EXPECT_EQ(gone, 1);
}

// The device list on a device directory and tty descriptions laid out as Linux has them.
TEST(SerialDeviceList, StableNamesFirstThenDevicesByNumberWithoutPhantomUarts) {
    namespace fs = std::filesystem;
    char root[] = "/tmp/mv62-devices-XXXXXX";
    ASSERT_NE(mkdtemp(root), nullptr);
    const fs::path dev = fs::canonical(root) / "dev";
    const fs::path sys = fs::canonical(root) / "sys";
    fs::create_directories(dev / "serial" / "by-id");
    for (const char* node :
         {"ttyUSB10", "ttyUSB2", "ttyUSB0", "ttyACM0", "ttyS0", "ttyS1", "ttyS12", "ttyS3", "tty0"})
        std::ofstream(dev / node).put('\0');
    fs::create_symlink("../../ttyUSB2", dev / "serial" / "by-id" / "usb-Prolific-port0");
    fs::create_symlink("../../ttyUSB0", dev / "serial" / "by-id" / "usb-FTDI_A1-port0");
    // ttyS0 and ttyS12 have a UART; ttyS1 is a phantom (type 0); ttyS3 has no description.
    for (const auto& [name, type] : {std::pair{"ttyS0", "4"}, {"ttyS1", "0"}, {"ttyS12", "4"}}) {
        fs::create_directories(sys / name);
        std::ofstream(sys / name / "type") << type << "\n";
    }

    const auto d = dev.string();
    const std::vector<SerialDeviceEntry> found = ListSerialDevicesIn(d, sys.string());
    std::vector<std::string> shown;
    for (const SerialDeviceEntry& e : found)
        shown.push_back(e.target.empty() ? e.path : e.path + " -> " + e.target);
    EXPECT_EQ(shown, (std::vector<std::string>{
                         d + "/serial/by-id/usb-FTDI_A1-port0 -> " + d + "/ttyUSB0",
                         d + "/serial/by-id/usb-Prolific-port0 -> " + d + "/ttyUSB2",
                         d + "/ttyUSB10", d + "/ttyACM0", d + "/ttyS0", d + "/ttyS12"}));

    // Nothing there at all: an empty list, no error.
    EXPECT_TRUE(
        ListSerialDevicesIn(std::string(root) + "/none", std::string(root) + "/none").empty());
    fs::remove_all(root);
}

}  // namespace
