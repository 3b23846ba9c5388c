#pragma once
// The operating system's side of a serial port, behind one small interface so that TComm can run
// on a real port, a pseudo-terminal or an in-memory fake.
#include <cstdint>
#include <memory>
#include <string>

struct SerialLineSettings {
    int baudRate = 0;
    int dataBits = 8;           // 5..8
    int parity = 2;             // 0 none, 1 odd, 2 even, 3 mark, 4 space
    int stopBits = 0;           // 0: 1, 1: 1.5, 2: 2
    bool checkParity = false;   // parity checking of received bytes
    bool rtsHandshake = false;  // RTS/CTS flow control
    bool rtsOn = false;         // RTS held on by the line settings
    bool xonXoff = false;
};

struct SerialOpenError {
    int errorNumber = 0;  // errno of the failed call, 0 when none
    std::string reason;   // the system's text for it
};

// Modem status bits as the component keeps them.
inline constexpr std::uint32_t kModemCts = 0x10;
inline constexpr std::uint32_t kModemDsr = 0x20;
inline constexpr std::uint32_t kModemRing = 0x40;
inline constexpr std::uint32_t kModemCarrier = 0x80;

class SerialDevice {
  public:
    virtual ~SerialDevice() = default;
    virtual bool Open(const std::string& path, SerialOpenError& error) = 0;
    virtual bool IsOpen() const = 0;
    virtual void Close() = 0;
    virtual bool SetQueueSizes(int input, int output) = 0;
    virtual void PurgeAll() = 0;    // abort pending I/O, clear both queues
    virtual void PurgeInput() = 0;  // clear the input queue
    virtual bool ApplySettings(const SerialLineSettings& s) = 0;
    virtual void SetDtr(bool on) = 0;
    virtual void SetRts(bool on) = 0;
    // Bytes waiting and error flags. Returns false when the query fails.
    virtual bool QueryStatus(std::uint32_t& bytesWaiting, std::uint32_t& errorFlags) = 0;
    // Modem lines (kModem* bits). Returns false when the query fails, which means "no change".
    virtual bool QueryModemStatus(std::uint32_t& lines) = 0;
    // Reads exactly up to n bytes; returns the count read or -1 on failure.
    virtual int Read(std::uint8_t* buffer, int n) = 0;
    virtual bool Write(const std::uint8_t* data, int n) = 0;
    // True once the device has gone away (adapter unplugged, other end hung up).
    virtual bool Disconnected() const = 0;
};

std::unique_ptr<SerialDevice> MakePlatformSerialDevice();
