#pragma once
// Serial port on a POSIX system: a tty device (real UART, USB adapter or pseudo-terminal) driven
// through termios, opened exclusively and non-blocking.
#include <cstdint>
#include <string>
#include <vector>

#include "SerialDevice.h"

class PosixSerialDevice : public SerialDevice {
  public:
    PosixSerialDevice() = default;
    PosixSerialDevice(const PosixSerialDevice&) = delete;
    PosixSerialDevice& operator=(const PosixSerialDevice&) = delete;
    ~PosixSerialDevice() override;

    bool Open(const std::string& path, SerialOpenError& error) override;
    bool IsOpen() const override { return fd_ >= 0; }
    void Close() override;
    bool SetQueueSizes(int input, int output) override;
    void PurgeAll() override;
    void PurgeInput() override;
    bool ApplySettings(const SerialLineSettings& s) override;
    void SetDtr(bool on) override;
    void SetRts(bool on) override;
    bool QueryStatus(std::uint32_t& bytesWaiting, std::uint32_t& errorFlags) override;
    bool QueryModemStatus(std::uint32_t& lines) override;
    int Read(std::uint8_t* buffer, int n) override;
    bool Write(const std::uint8_t* data, int n) override;
    bool Disconnected() const override { return disconnected_; }

    // The file descriptor while open, -1 otherwise.
    int Handle() const { return fd_; }

    // Error flags reported by QueryStatus, as the component keeps them.
    static constexpr std::uint32_t kErrorOverrun = 0x02;
    static constexpr std::uint32_t kErrorParity = 0x04;
    static constexpr std::uint32_t kErrorFrame = 0x08;
    static constexpr std::uint32_t kErrorBreak = 0x10;

    // How long a write may make no progress (output held back) before it fails.
    static constexpr int kWriteStallMs = 5000;

  private:
    void NoteFailure(int err);
    void SetModemLine(int line, bool on);
    std::uint32_t LineErrorsSinceLastQuery();

    int fd_ = -1;
    bool disconnected_ = false;
    // Line error counters of the UART at the last query (not available on pseudo-terminals).
    bool haveCounters_ = false;
    int frameCount_ = 0;
    int overrunCount_ = 0;
    int parityCount_ = 0;
    int breakCount_ = 0;
};

// ListSerialDevices on the device directory `devDir` (normally /dev) with the kernel's tty
// descriptions in `sysTtyDir` (normally /sys/class/tty).
std::vector<SerialDeviceEntry> ListSerialDevicesIn(const std::string& devDir,
                                                   const std::string& sysTtyDir);
