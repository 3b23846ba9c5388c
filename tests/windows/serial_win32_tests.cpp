// The Win32 serial backend on COM ports that Wine maps to pseudo-terminals; the runner plays the
// device on their master side (COM1 for the link, COM2 for a device that goes away).
//
// Where Wine on a pseudo-terminal behaves unlike Windows on a real port, the tests check what
// Windows guarantees and say so:
// - A pty carries no parity: its driver drops the flag. When that is the only change a settings
//   write asks for, tcsetattr reports EINVAL and Wine's SetCommState fails with
//   ERROR_INVALID_PARAMETER after the speed, before the flow control. The link tests therefore
//   run without parity; the station's even parity is tried where the outcome is known.
// - Wine opens a COM port whose device has gone and fails its first communications call
//   (ERROR_INVALID_FUNCTION); Windows refuses the open (ERROR_FILE_NOT_FOUND). Both are "missing".
// - A pseudo-terminal has no modem lines: EscapeCommFunction and GetCommModemStatus fail there
//   (ERROR_NOT_SUPPORTED), where a real port succeeds. Both must be harmless.
// - Wine does not refuse a second open of a COM port as Windows does (ERROR_ACCESS_DENIED); the
//   backend marks a port it holds itself, so a second open is refused under both.
// - WriteFile's count of bytes written is taken as progress only, never as proof of delivery:
//   Wine has been known to report counts that differ from what reached the line (Debian's Wine 8
//   on a pty reports them as Windows does: all of them, or the part that went out before the
//   write time-out). What Windows guarantees is that the bytes of a successful synchronous
//   write go out in order, so the checks are on the bytes that arrive at the device end.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include <windows.h>

#include "DeviceEnd.h"
#include "PortNames.h"
#include "SerialErrors.h"
#include "Win32SerialDevice.h"

namespace {

// Upper bound for bytes to cross the line; only reached when something is broken.
constexpr int kArrivalPolls = 500;
constexpr auto kPollPause = std::chrono::milliseconds(10);

Bytes AllByteValues() {
    Bytes bytes;
    for (int i = 0; i < 256; ++i)
        bytes.push_back(static_cast<std::uint8_t>(i));
    return bytes;
}

// 8 data bits, no parity, 1 stop bit, no flow control.
SerialLineSettings LinkSettings(TBaudRate baud) {
    SerialLineSettings s;
    s.baudRate = baud;
    s.parity = None;
    return s;
}

// Polls the status until at least n bytes wait; returns the last count seen.
std::uint32_t WaitForWaiting(SerialDevice& device, std::uint32_t n) {
    std::uint32_t waiting = 0;
    std::uint32_t errors = 0;
    for (int i = 0; i < kArrivalPolls; ++i) {
        if (device.QueryStatus(waiting, errors) && waiting >= n)
            break;
        std::this_thread::sleep_for(kPollPause);
    }
    return waiting;
}

// Tests that talk to the device end need the runner; the others only need COM1 to be a port.
#define REQUIRE_DEVICE_END()                                                              \
    do {                                                                                  \
        if (!DeviceEnd::Available()) {                                                    \
            GTEST_SKIP() << "no device end: run through tests/windows/run_under_wine.py"; \
        }                                                                                 \
    } while (false)

class Win32Line : public ::testing::Test {
  protected:
    // Opens a port the way the station does.
    static std::unique_ptr<Win32SerialDevice> OpenStationPort(int port, TBaudRate baud) {
        auto device = std::make_unique<Win32SerialDevice>();
        SerialOpenError error;
        if (!device->Open(SerialDevicePathFor(port), error)) {
            ADD_FAILURE() << "COM" << port << ": " << error.reason;
            return nullptr;
        }
        device->SetQueueSizes(8192, 8192);
        device->PurgeAll();
        EXPECT_TRUE(device->ApplySettings(LinkSettings(baud)));
        device->SetDtr(true);
        device->SetRts(false);
        return device;
    }

    DeviceEnd com1_{"COM1"};
};

TEST_F(Win32Line, OpensRawAtTheChosenSpeedAndKeepsSettingsItCannotChange) {
    REQUIRE_DEVICE_END();
    EXPECT_EQ(SerialDevicePathFor(1), "\\\\.\\COM1");
    auto device = OpenStationPort(1, 38400);
    ASSERT_TRUE(device);

    auto line = com1_.LineSettings();
    EXPECT_EQ(line["speed"], 38400);
    EXPECT_EQ(line["csize"], 8);
    EXPECT_EQ(line["cstopb"], 0);
    // Raw bytes: no echo, no line editing, no output processing, no flow control. A fresh
    // pseudo-terminal has all of these on, XON/XOFF included.
    EXPECT_EQ(line["icanon"], 0);
    EXPECT_EQ(line["echo"], 0);
    EXPECT_EQ(line["opost"], 0);
    EXPECT_EQ(line["ixon"], 0);
    EXPECT_EQ(line["ixoff"], 0);
    EXPECT_EQ(line["crtscts"], 0);

    // New settings while open take effect; flow control only when asked for.
    SerialLineSettings s = LinkSettings(115200);
    s.stopBits = SB2;
    s.xonXoff = true;
    s.rtsHandshake = true;
    ASSERT_TRUE(device->ApplySettings(s));
    line = com1_.LineSettings();
    EXPECT_EQ(line["speed"], 115200);
    EXPECT_EQ(line["cstopb"], 1);
    EXPECT_EQ(line["ixon"], 1);
    EXPECT_EQ(line["ixoff"], 1);
    EXPECT_EQ(line["crtscts"], 1);

    // A speed of 0 or a setting out of range is refused and the port keeps what it had.
    EXPECT_FALSE(device->ApplySettings(LinkSettings(0)));
    s.dataBits = static_cast<TDataBits>(9);
    EXPECT_FALSE(device->ApplySettings(s));
    line = com1_.LineSettings();
    EXPECT_EQ(line["speed"], 115200);
    EXPECT_EQ(line["ixon"], 1);

    EXPECT_TRUE(device->ApplySettings(LinkSettings(9600)));
    line = com1_.LineSettings();
    EXPECT_EQ(line["speed"], 9600);
    EXPECT_EQ(line["ixon"], 0);
    EXPECT_EQ(line["crtscts"], 0);

    // The station's own settings, even parity: Windows takes them whole; Wine on a pty refuses
    // the parity (see above) once the speed is set. Either way the line runs at the new speed,
    // raw and without flow control.
    SerialLineSettings station;
    station.baudRate = 19200;
    device->ApplySettings(station);
    line = com1_.LineSettings();
    EXPECT_EQ(line["speed"], 19200);
    EXPECT_EQ(line["csize"], 8);
    EXPECT_EQ(line["icanon"], 0);
    EXPECT_EQ(line["ixon"], 0);
}

TEST_F(Win32Line, BytesTravelBothWaysInOrderAndUnchanged) {
    REQUIRE_DEVICE_END();
    auto device = OpenStationPort(1, 9600);
    ASSERT_TRUE(device);

    // One write per byte, as the station sends its commands, then one block.
    const Bytes values = AllByteValues();
    for (std::uint8_t b : values)
        ASSERT_TRUE(device->Write(&b, 1));
    Bytes block;
    for (int i = 0; i < 3000; ++i)
        block.push_back(static_cast<std::uint8_t>(i * 7 + i / 256));
    ASSERT_TRUE(device->Write(block.data(), static_cast<int>(block.size())));
    EXPECT_TRUE(device->Write(nullptr, 0));
    EXPECT_EQ(com1_.Received(values.size()), values);
    EXPECT_EQ(com1_.Received(block.size()), block);

    // What the device sends is counted by the status query and read back whole.
    std::uint8_t buffer[8192];
    EXPECT_EQ(device->Read(buffer, sizeof buffer), 0);  // nothing waiting: returns at once
    ASSERT_TRUE(com1_.Send(values));
    ASSERT_EQ(WaitForWaiting(*device, 256), 256u);
    std::uint32_t waiting = 0;
    std::uint32_t errors = 1;
    ASSERT_TRUE(device->QueryStatus(waiting, errors));
    EXPECT_EQ(errors, 0u);
    ASSERT_EQ(device->Read(buffer, sizeof buffer), 256);
    EXPECT_EQ(Bytes(buffer, buffer + 256), values);
    EXPECT_EQ(device->Read(buffer, sizeof buffer), 0);

    // A read asks for no more than it is given room for; the rest keeps waiting.
    ASSERT_TRUE(com1_.Send({0x55, 0xAA, 0x02, 0x10, 0x20}));
    ASSERT_EQ(WaitForWaiting(*device, 5), 5u);
    ASSERT_EQ(device->Read(buffer, 3), 3);
    EXPECT_EQ(Bytes(buffer, buffer + 3), (Bytes{0x55, 0xAA, 0x02}));
    ASSERT_TRUE(device->QueryStatus(waiting, errors));
    EXPECT_EQ(waiting, 2u);
    ASSERT_EQ(device->Read(buffer, sizeof buffer), 2);
    EXPECT_EQ(Bytes(buffer, buffer + 2), (Bytes{0x10, 0x20}));
    EXPECT_FALSE(device->Disconnected());
}

TEST_F(Win32Line, PurgingEmptiesTheInputAndTheLineGoesOn) {
    REQUIRE_DEVICE_END();
    auto device = OpenStationPort(1, 19200);
    ASSERT_TRUE(device);
    std::uint8_t buffer[256];
    std::uint32_t waiting = 0;
    std::uint32_t errors = 0;

    ASSERT_TRUE(com1_.Send(Bytes(100, 0x5A)));
    ASSERT_EQ(WaitForWaiting(*device, 100), 100u);
    device->PurgeInput();
    ASSERT_TRUE(device->QueryStatus(waiting, errors));
    EXPECT_EQ(waiting, 0u);
    EXPECT_EQ(device->Read(buffer, sizeof buffer), 0);

    ASSERT_TRUE(com1_.Send(Bytes(40, 0xA5)));
    ASSERT_EQ(WaitForWaiting(*device, 40), 40u);
    device->PurgeAll();
    ASSERT_TRUE(device->QueryStatus(waiting, errors));
    EXPECT_EQ(waiting, 0u);

    ASSERT_TRUE(com1_.Send({1, 2, 3}));
    ASSERT_EQ(WaitForWaiting(*device, 3), 3u);
    ASSERT_EQ(device->Read(buffer, sizeof buffer), 3);
    EXPECT_EQ(Bytes(buffer, buffer + 3), (Bytes{1, 2, 3}));
}

TEST_F(Win32Line, ModemLinesOfAPseudoTerminalFailHarmlessly) {
    auto device = OpenStationPort(1, 9600);
    ASSERT_TRUE(device);

    // Raising and lowering DTR and RTS is refused by a pty (not by a real port) and changes
    // nothing else; a failed modem query leaves the caller's lines as they were ("no change").
    device->SetDtr(false);
    device->SetRts(true);
    device->SetDtr(true);
    device->SetRts(false);
    std::uint32_t lines = 0x5A5A;
    if (!device->QueryModemStatus(lines))
        EXPECT_EQ(lines, 0x5A5Au);
    else
        EXPECT_EQ(lines & ~(kModemCts | kModemDsr | kModemRing | kModemCarrier), 0u);
    EXPECT_FALSE(device->Disconnected());

    // Settings written after that keep the link as it was.
    EXPECT_TRUE(device->ApplySettings(LinkSettings(57600)));
    const Bytes command = {0x55, 0xAA, 0x07};
    ASSERT_TRUE(device->Write(command.data(), static_cast<int>(command.size())));
    if (DeviceEnd::Available()) {
        EXPECT_EQ(com1_.LineSettings()["speed"], 57600);
        EXPECT_EQ(com1_.Received(command.size()), command);
    }
}

TEST_F(Win32Line, OpenFailuresAreClassified) {
    SerialOpenError error;

    Win32SerialDevice missing;
    EXPECT_FALSE(missing.Open("\\\\.\\COM250", error));
    EXPECT_FALSE(missing.IsOpen());
    EXPECT_EQ(error.kind, SerialOpenFailure::Missing);
    EXPECT_EQ(error.errorNumber, 2);  // ERROR_FILE_NOT_FOUND
    EXPECT_FALSE(error.reason.empty());
    // COM3 is mapped to a device that is not there (an adapter unplugged).
    error = {};
    EXPECT_FALSE(missing.Open(SerialDevicePathFor(3), error));
    EXPECT_EQ(error.kind, SerialOpenFailure::Missing) << error.reason;
    EXPECT_FALSE(missing.IsOpen());

    // The port is held: Windows answers ERROR_ACCESS_DENIED, the backend's own mark under Wine
    // ERROR_SHARING_VIOLATION; both mean "in use".
    Win32SerialDevice first;
    ASSERT_TRUE(first.Open("\\\\.\\COM1", error)) << error.reason;
    Win32SerialDevice second;
    error = {};
    EXPECT_FALSE(second.Open("\\\\.\\COM1", error));
    EXPECT_EQ(error.kind, SerialOpenFailure::InUse);
    EXPECT_TRUE(error.errorNumber == 5 || error.errorNumber == 32) << error.errorNumber;
    EXPECT_FALSE(error.reason.empty());
    EXPECT_FALSE(second.Write(reinterpret_cast<const std::uint8_t*>("U"), 1));
    error = {};
    EXPECT_FALSE(second.Open("com1", error));  // the same port by its short name
    EXPECT_EQ(error.kind, SerialOpenFailure::InUse);
    first.Close();
    EXPECT_TRUE(second.Open("\\\\.\\COM1", error)) << error.reason;
    EXPECT_EQ(error.kind, SerialOpenFailure::None);
    second.Close();

    // A file and a folder are no serial ports.
    error = {};
    Win32SerialDevice file;
    EXPECT_FALSE(file.Open("C:\\windows\\win.ini", error));
    EXPECT_EQ(error.kind, SerialOpenFailure::NotSerial);
    error = {};
    EXPECT_FALSE(file.Open("C:\\windows", error));
    EXPECT_EQ(error.kind, SerialOpenFailure::NotSerial);
    EXPECT_FALSE(file.IsOpen());

    // A path the system refuses with ERROR_ACCESS_DENIED that is neither a device nor a folder
    // is one this user may not open, and the technician is told what to do on Windows. Under
    // Wine, the Linux kernel's read-only settings are such a path, even to root.
    const std::string refused = "Z:\\proc\\sys\\kernel\\ostype";
    error = {};
    EXPECT_FALSE(file.Open(refused, error));
    EXPECT_EQ(error.kind, SerialOpenFailure::Permission) << error.reason;
    EXPECT_EQ(error.errorNumber, 5);  // ERROR_ACCESS_DENIED
    EXPECT_EQ(PortOpenErrorText("COM1", refused, error, ListSerialDevices()),
              "This user may not open COM1 (" + refused +
                  ").\n"
                  "Another program or service may hold the port, or this user lacks the right to "
                  "use it.\n"
                  "Close that program or stop that service, or ask an administrator for access to "
                  "the port.\n"
                  "To use another device for COM1, start the station with MV62_COM1=<device>.");

    // Technicians point a port name at another device.
    _putenv_s("MV62_COM7", "\\\\.\\COM1");
    EXPECT_EQ(SerialDevicePathFor(7), "\\\\.\\COM1");
    _putenv_s("MV62_COM7", "");
    EXPECT_EQ(SerialDevicePathFor(7), "\\\\.\\COM7");
}

TEST_F(Win32Line, TheSystemsComPortsAreListed) {
    // In number order, each once, as device paths.
    std::vector<long> numbers;
    for (const auto& p : ListSerialDevices()) {
        ASSERT_EQ(p.path.rfind("\\\\.\\COM", 0), 0u) << p.path;
        numbers.push_back(std::strtol(p.path.c_str() + 7, nullptr, 10));
    }
    EXPECT_TRUE(std::is_sorted(numbers.begin(), numbers.end()));
    EXPECT_EQ(std::adjacent_find(numbers.begin(), numbers.end()), numbers.end());
    EXPECT_EQ(std::count(numbers.begin(), numbers.end(), 1), 1);
    EXPECT_EQ(std::count(numbers.begin(), numbers.end(), 250), 0);
    if (DeviceEnd::Available()) {
        EXPECT_EQ(std::count(numbers.begin(), numbers.end(), 2), 1);
    }
}

TEST_F(Win32Line, ADeviceThatStallsAndThenGoesAwayNeverBlocksTheStation) {
    REQUIRE_DEVICE_END();
    DeviceEnd com2("COM2");
    auto device = OpenStationPort(2, 9600);
    ASSERT_TRUE(device);
    ASSERT_TRUE(com2.Send({0x55}));
    ASSERT_EQ(WaitForWaiting(*device, 1), 1u);

    // The device stops taking bytes: once the line's buffers are full a write gives up after
    // the write time-out instead of blocking for ever, and the port stays usable.
    ASSERT_TRUE(com2.Hold());
    const Bytes flood(256 * 1024, 0x5A);
    EXPECT_FALSE(device->Write(flood.data(), static_cast<int>(flood.size())));
    EXPECT_FALSE(device->Disconnected());
    device->PurgeAll();

    ASSERT_TRUE(com2.Hangup());

    std::uint32_t waiting = 0;
    std::uint32_t errors = 0;
    for (int i = 0; i < kArrivalPolls && !device->Disconnected(); ++i) {
        device->QueryStatus(waiting, errors);
        std::this_thread::sleep_for(kPollPause);
    }
    ASSERT_TRUE(device->Disconnected());
    // Once gone it stays gone: status fails as "nothing waiting, no error", writes fail.
    for (int i = 0; i < 3; ++i) {
        waiting = 7;
        errors = 7;
        EXPECT_FALSE(device->QueryStatus(waiting, errors));
        EXPECT_EQ(waiting, 0u);
        EXPECT_EQ(errors, 0u);
        EXPECT_TRUE(device->Disconnected());
    }
    EXPECT_FALSE(device->Write(reinterpret_cast<const std::uint8_t*>("U"), 1));
    device->Close();
    EXPECT_FALSE(device->IsOpen());
    EXPECT_FALSE(device->Disconnected());
}

}  // namespace
